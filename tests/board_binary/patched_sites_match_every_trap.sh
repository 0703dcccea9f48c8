#!/usr/bin/env bash
# The board binary with its register accesses patched into calls after the
# first trap at each site does exactly what it does when every access traps:
# the same standard output and error, status, system log, image, report and
# trace of the line, byte for byte, in runs that write, read back, dump,
# recover from broken slots and give up. (Every access trapping is slow:
# these runs are short.)
# Usage: patched_sites_match_every_trap.sh BOARD_RUN... PRELOAD PROGRAM
set -uo pipefail
[ $# -ge 3 ] || { echo "usage: $0 BOARD_RUN... PRELOAD PROGRAM" >&2; exit 2; }
run=("$@")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1
unset IDSTAMP_SIM_ROM IDSTAMP_SIM_SEED IDSTAMP_SIM_CHIP_TIMING IDSTAMP_SIM_COUNTER

# NAME|CHIP|FAULTS|ARGUMENTS
cases=(
  "MAC write, read back and dump|ds2431||0 -m 02:00:00:00:00:01 -p -c 0"
  "IPv4 and string on the larger chip|ds28ec20||0 -d 10.0.0.2 -f 255.0.0.0 -g 10.0.0.1 -i 10.1.0.2 -j 255.255.0.0 -k 10.1.0.1 -w board-7 -q"
  "slots broken by preemption, rerun|ds2431|stretch=2:17/60,stretch=5:3/30|0 -m 02:00:00:00:00:02 -p"
  "ROM reads that fail until the tool gives up|ds28ec20|rom-crc=1000|0 -p"
  "no chip on the line|ds2431|absent|0 -p"
)
failures=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name chip faults arguments <<< "$entry"
  for mode in every first; do
    mkdir -p "$mode" && rm -f "$mode"/*
    # shellcheck disable=SC2086 # the arguments are words
    IDSTAMP_BOARD_TRAP=$mode IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_FAULTS=$faults \
      IDSTAMP_SIM_EEPROM=$mode/image IDSTAMP_SIM_SYSLOG=$mode/log IDSTAMP_SIM_REPORT=$mode/report \
      IDSTAMP_SIM_TRACE=$mode/trace.vcd "${run[@]}" $arguments > "$mode/out" 2> "$mode/err"
    echo $? > "$mode/status"
  done
  # The pointer of the window's mapping is the emulator's to choose.
  for file in out err status log image report trace.vcd; do
    if [ ! -e "every/$file" ] && [ ! -e "first/$file" ]; then
      continue
    fi
    if ! cmp -s <(sed 's/IMMR mapped to 0x[0-9a-f]*/IMMR mapped to P/' "every/$file") \
                <(sed 's/IMMR mapped to 0x[0-9a-f]*/IMMR mapped to P/' "first/$file"); then
      echo "FAIL: $name: $file differs"
      diff <(head -c 4000 "every/$file") <(head -c 4000 "first/$file") | head -n 20
      failures=$((failures + 1))
    fi
  done
  # A run that did nothing proves nothing: each one printed and moved the line.
  [ -s first/trace.vcd ] && [ -s first/out ] || { echo "FAIL: $name: no trace or no output"; failures=$((failures + 1)); }
  echo "$name: status $(cat first/status), $(wc -c < first/trace.vcd) bytes of trace"
done
[ $failures = 0 ] && echo "patched and trapped runs the same" || echo "$failures differences"
exit $((failures > 0))
