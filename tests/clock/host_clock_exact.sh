#!/usr/bin/env bash
# The board on the host's clock: the kernel's real preemption reaches the bus,
# so nothing here is the same twice. What holds whatever the machine does:
# every run ends 0 or 255, a run that ends 0 leaves exactly the image the
# virtual clock's run leaves, the report counts the skipped sleeps, the
# trace's time never goes back, and the gaps the run met make a profile that
# the virtual clock replays.
# Usage: host_clock_exact.sh IDSTAMP-SIM
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../image/checks.sh"
sim=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

stock="0 -m 02:00:00:00:00:01 -d 10.0.0.1 -f 255.0.0.0 -g 10.0.0.254 -i 10.9.0.1 -j 255.255.0.0 -k 10.9.0.254 -w stock"
actions=(
  "-m 00:11:22:33:44:55"
  "-d 192.168.1.2 -f 255.255.255.0 -g 192.168.1.1 -i 10.1.2.3 -j 255.255.0.0 -k 10.1.0.1"
  "-g 10.0.0.9"
  "-w hello"
  "-p -q -r -c 1"
)
runs=0
for chip in ds2431 ds28ec20; do
  IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=stock.$chip "$sim" $stock > /dev/null 2>&1 \
    || fail "$chip: the stock image was not made"
  for action in "${actions[@]}"; do
    cp stock.$chip want.eeprom
    # shellcheck disable=SC2086 # the action is words
    IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=want.eeprom "$sim" 0 $action > /dev/null 2>&1
    for try in 1 2; do
      cp stock.$chip got.eeprom
      rm -f report trace.vcd
      # shellcheck disable=SC2086
      IDSTAMP_SIM_CLOCK=host IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=got.eeprom IDSTAMP_SIM_REPORT=report \
        IDSTAMP_SIM_TRACE=trace.vcd IDSTAMP_SIM_GAPS=gaps.json timeout 60 "$sim" 0 $action > out 2> err
      status=$?
      runs=$((runs + 1))
      what="$chip, $action, run $try"
      case $status in
        0) cmp -s got.eeprom want.eeprom || fail "$what: status 0 but the image is not the intended one" ;;
        255) ;;
        *) fail "$what: status $status: $(head -c 300 err)" ;;
      esac
      grep -q '^sleep_seconds_skipped [0-9]*$' report || fail "$what: no skipped sleeps in the report"
      awk '/^#/ { t = substr($0, 2) + 0; if (t < last) bad = 1; last = t } END { exit bad }' trace.vcd \
        || fail "$what: the trace's time goes back"
      grep -q '^\$enddefinitions' trace.vcd || fail "$what: the trace has no header"
      # The profile counts every gap between two accesses: far more than a
      # thousand in any run.
      gaps=$(python3 -c 'import json,sys; print(sum(json.load(open(sys.argv[1]))["thread"]["0"]["histogram"].values()))' gaps.json)
      [ "${gaps:-0}" -gt 1000 ] || fail "$what: the gap profile counts ${gaps:-no} gaps"
      cp stock.$chip replay.eeprom
      # shellcheck disable=SC2086
      IDSTAMP_SIM_FAULTS=noise=gaps.json IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=replay.eeprom \
        timeout 600 "$sim" 0 $action > /dev/null 2> err
      status=$?
      [ $status = 0 ] || [ $status = 255 ] || fail "$what: the gaps' replay ended $status: $(head -c 300 err)"
    done
  done
done
finish "ok: $runs runs on the host's clock, each 0 with the intended image or 255"
