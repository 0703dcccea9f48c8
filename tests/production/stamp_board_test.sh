#!/usr/bin/env bash
# The production script against the simulated board: good boards are stamped
# and read back, failing boards end with the right verdict and CSV line, bad
# values never reach the tool. With BUSYBOX it runs under BusyBox's sh with
# nothing but BusyBox's applets on PATH, as on the board. Prints the time each
# board takes: the simulated board's virtual time is what a real board takes.
#   stamp_board_test.sh SCRIPT IDSTAMP_SIM [BUSYBOX]
set -euo pipefail
script=$(realpath "$1") sim=$(realpath "$2") busybox=${3:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The tool as the script sees it: idstamp-sim, with each run's calls and
# report kept. MANGLE, a sed command, changes what the tool prints.
cat > idstamp <<EOF
#!$(command -v bash)
export PATH='$PATH'
n=\$(( \$(wc -l < '$work/calls' 2>/dev/null || echo 0) + 1 ))
echo "\$*" >> '$work/calls'
IDSTAMP_SIM_REPORT='$work/report.'\$n '$sim' "\$@" > '$work/out.'\$n
status=\$?
if [ -n "\${MANGLE:-}" ]; then sed -i "\$MANGLE" '$work/out.'\$n; fi
cat '$work/out.'\$n
exit \$status
EOF
chmod +x idstamp

shell=(sh)
if [ -n "$busybox" ]; then
  mkdir bin
  for applet in $("$busybox" --list); do ln -s "$busybox" "bin/$applet"; done
  shell=("$work/bin/sh")
fi

failures=0
fail() { echo "FAIL $case: $*"; failures=$((failures + 1)); }

# Runs the script for one board; $case names it. Sets $status, $out.
stamp() {
  rm -f calls report.* out.*
  set +e
  out=$(env ${busybox:+PATH="$work/bin"} IDSTAMP="$work/idstamp" STAMP_LOCK="$work/lock" \
        IDSTAMP_SIM_SYSLOG= IDSTAMP_SIM_EEPROM="$work/$case.eeprom" "$@" 2>&1)
  status=$?
  set -e
}
board() { stamp "${shell[@]}" "$script" -l log.csv "$@"; }
calls() { [ -f calls ] && wc -l < calls || echo 0; }
sum_report() { cat report.* 2>/dev/null | awk -v k="$1" '$1 == k {s += $2} END {print s + 0}'; }
last_csv() { tail -n 1 log.csv; }
times=""
note_time() {
  times+=$(printf '  %-22s %8.3f s on the board (%s s of it retry sleeps), %d runs\n' \
    "$case" "$(sum_report virtual_time_us | awk '{print $1 / 1e6}')" "$(sum_report sleep_seconds)" "$(calls)")$'\n'
}
blank_image() { head -c 144 /dev/zero | tr '\0' '\377' > "$1"; }
protect_page() { printf '\125' | dd of="$1" bs=1 seek=$((128 + $2)) conv=notrunc status=none; }

ipv4=(-d 192.168.1.10 -f 255.255.255.0 -g 192.168.1.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1)
echo "02:00:5e:00:00:fe 02:00:5e:00:01:00" > range

# --- boards that pass
case=good-range-ipv4
board -R range "${ipv4[@]}"
[ "$status" = 0 ] || fail "status $status: $out"
[ "$(cat range)" = "02:00:5e:00:00:ff 02:00:5e:00:01:00" ] || fail "range now $(cat range)"
[ "$(last_csv | cut -d, -f2-11)" = "2d-00000d6b3e9c,02:00:5e:00:00:fe,192.168.1.10,255.255.255.0,192.168.1.1,10.0.0.5,255.0.0.0,10.0.0.1,ok," ] \
  || fail "CSV line: $(last_csv)"
[ "$(calls)" = 3 ] || fail "$(calls) runs of the tool"
[ "$(head -n 1 log.csv)" = "time,rom,mac,ip1,net1,gw1,ip2,net2,gw2,result,detail,seconds" ] || fail "CSV header: $(head -n 1 log.csv)"
note_time

case=good-mac-ds28ec20
IDSTAMP_SIM_CHIP=ds28ec20 board -m 02:00:5E:00:10:01
[ "$status" = 0 ] || fail "status $status: $out"
last_csv | grep -q ',43-00000d6b3e9c,02:00:5e:00:10:01,,,,,,,ok,' || fail "CSV line: $(last_csv)"
note_time

case=copy-fails-3-times
IDSTAMP_SIM_FAULTS=copy-fail=3 board -R range
[ "$status" = 0 ] || fail "status $status: $out"
[ "$(cat range)" = "02:00:5e:00:01:00 02:00:5e:00:01:00" ] || fail "range now $(cat range)"
note_time

# --- boards that fail
case=absent-chip
IDSTAMP_SIM_FAULTS=absent board -R range "${ipv4[@]}"
[ "$status" = 3 ] || fail "status $status: $out"
last_csv | grep -q '^[^,]*,,,192.168.1.10,255.255.255.0,192.168.1.1,10.0.0.5,255.0.0.0,10.0.0.1,no-chip,' || fail "CSV line: $(last_csv)"
[ "$(cat range)" = "02:00:5e:00:01:00 02:00:5e:00:01:00" ] || fail "an absent chip took an address: $(cat range)"
[ "$(calls)" = 1 ] || fail "$(calls) runs of the tool"
note_time

case=copy-always-fails
IDSTAMP_SIM_FAULTS=copy-fail=100000 board -m 02:00:5e:00:20:01 "${ipv4[@]}"
[ "$status" = 4 ] || fail "status $status: $out"
last_csv | grep -q ',02:00:5e:00:20:01,192.168.1.10,.*,write-failed,the MAC record write gave up,' || fail "CSV line: $(last_csv)"
[ "$(sum_report sleep_seconds)" = 231 ] || fail "slept $(sum_report sleep_seconds) s"
note_time

case=page-0-protected
blank_image "$case.eeprom"; protect_page "$case.eeprom" 0
board -m 02:00:5e:00:20:02
[ "$status" = 4 ] || fail "status $status: $out"
last_csv | grep -q ',write-failed,the MAC record write gave up,' || fail "CSV line: $(last_csv)"
note_time

case=page-1-protected
blank_image "$case.eeprom"; protect_page "$case.eeprom" 1
board -m 02:00:5e:00:20:03 "${ipv4[@]}"
[ "$status" = 4 ] || fail "status $status: $out"
last_csv | grep -q ',write-failed,the IPv4 record write gave up (the MAC record is written),' || fail "CSV line: $(last_csv)"
[ "$(sum_report sleep_seconds)" = 230 ] || fail "slept $(sum_report sleep_seconds) s"
note_time

case=reads-back-wrong
MANGLE='s/^MAC address read (\([0-9]*\)): .*/MAC address read (\1): 02:00:00:00:00:99/' board -m 02:00:5e:00:20:04
[ "$status" = 5 ] || fail "status $status: $out"
last_csv | grep -q ",2d-00000d6b3e9c,02:00:5e:00:20:04,,,,,,,mismatch,MAC reads back as '02:00:00:00:00:99'," \
  || fail "CSV line: $(last_csv)"

case=ipv4-reads-back-wrong
MANGLE='s/^\t slot 2 gateway .*/\t slot 2 gateway 10.0.0.2/' board -m 02:00:5e:00:20:05 "${ipv4[@]}"
[ "$status" = 5 ] || fail "status $status: $out"
last_csv | grep -q ",mismatch,slot 2 gateway reads back as '10.0.0.2'," || fail "CSV line: $(last_csv)"

case=no-devmem
IDSTAMP_SIM_FAULTS=devmem-eacces board -m 02:00:5e:00:20:05
[ "$status" = 6 ] || fail "status $status: $out"
last_csv | grep -q ',no-hardware,' || fail "CSV line: $(last_csv)"

# --- the station's own problems: nothing is written
case=range-used-up
lines=$(wc -l < log.csv)
board -R range
board -R range
[ "$status" = 2 ] || fail "status $status: $out"
grep -q 'used up' <<< "$out" || fail "output: $out"
[ "$(wc -l < log.csv)" = $((lines + 1)) ] || fail "the refused board has a CSV line"

case=lock-held
mkdir lock
board -m 02:00:5e:00:20:06
rmdir lock
[ "$status" = 2 ] && [ "$(calls)" = 0 ] || fail "status $status, $(calls) runs: $out"

# --- values the tool would store wrongly are refused before it runs
refused=0
while IFS='|' read -r what args says; do
  case="refuses $what"
  lines=$(wc -l < log.csv)
  # shellcheck disable=SC2086
  board $args
  if [ "$status" != 1 ] || [ "$(calls)" != 0 ] || [ "$(wc -l < log.csv)" != "$lines" ]; then
    fail "status $status, $(calls) runs: $out"
  fi
  case $out in *"$says"*) ;; *) fail "the refusal does not say \"$says\": $out" ;; esac
  refused=$((refused + 1))
done <<'CASES'
dashes in the MAC|-m 00-11-22-33-44-55|is not a station MAC address
a short octet|-m 0:11:22:33:44:55|is not a station MAC address
seven octets|-m 00:11:22:33:44:55:66|is not a station MAC address
a group MAC|-m 01:00:5e:00:00:01|is not a station MAC address
an all-zero MAC|-m 00:00:00:00:00:00|is not a station MAC address
an octet over 255|-m 02:00:5e:00:00:01 -d 192.168.1.300 -f 255.255.255.0 -g 192.168.1.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1|-d 192.168.1.300 is not an IPv4 address (x.x.x.x, each 0 to 255)
a leading zero|-m 02:00:5e:00:00:01 -d 192.168.1.10 -f 255.255.255.0 -g 192.168.01.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1|-g 192.168.01.1 is not an IPv4 address: no leading zeros
three numbers|-m 02:00:5e:00:00:01 -d 192.168.1 -f 255.255.255.0 -g 192.168.1.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1|-d 192.168.1 is not an IPv4 address
a broken netmask|-m 02:00:5e:00:00:01 -d 192.168.1.10 -f 255.0.255.0 -g 192.168.1.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1|-f 255.0.255.0 is not a netmask
part of the IPv4 values|-m 02:00:5e:00:00:01 -d 192.168.1.10|give all six of -d -f -g -i -j -k, or none
both -m and -R|-m 02:00:5e:00:00:01 -R range|usage: stamp-board
neither -m nor -R|-d 192.168.1.10|usage: stamp-board
a leading zero in a netmask|-m 02:00:5e:00:00:01 -d 192.168.1.10 -f 255.255.255.000 -g 192.168.1.1 -i 10.0.0.5 -j 255.0.0.0 -k 10.0.0.1|-f 255.255.255.000 is not an IPv4 address: no leading zeros
CASES

echo "time per board (virtual time of the simulated board, i.e. on a real one):"
printf '%s' "$times"
echo "refused $refused bad command lines without running the tool"
if [ "$failures" -gt 0 ]; then
  echo "$failures checks failed"
  exit 1
fi
echo "all boards as expected${busybox:+ (under BusyBox)}"
