#!/usr/bin/env bash
# Pairs of runs started together on one image, one writing the MAC record (-m)
# and one the string record (-w), on each chip: both must end with status 0
# and the image must hold both records, as after the two runs one by one.
# With "link", the -w run names the image through a symbolic link to it.
# Usage: concurrent_writers.sh IDSTAMP-SIM [PAIRS [link]]
set -uo pipefail
sim=$(realpath "$1")
pairs=${2:-50}
through_link=${3:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export IDSTAMP_SIM_SYSLOG=
unset IDSTAMP_SIM_FAULTS IDSTAMP_SIM_TRACE IDSTAMP_SIM_REPORT IDSTAMP_SIM_ROM IDSTAMP_SIM_SEED

mac=(0 -m 00:11:22:33:44:55)
text=(0 -w "two writers, one chip")
failures=0
for chip in ds2431 ds28ec20; do
  export IDSTAMP_SIM_CHIP=$chip
  # What the two records look like, each written alone on a new chip of its own.
  mac_ref=$dir/$chip.mac.ref text_ref=$dir/$chip.text.ref
  IDSTAMP_SIM_EEPROM=$mac_ref "$sim" "${mac[@]}" > /dev/null || { echo "$chip: -m alone failed"; exit 1; }
  IDSTAMP_SIM_EEPROM=$text_ref "$sim" "${text[@]}" > /dev/null || { echo "$chip: -w alone failed"; exit 1; }
  lost=0
  for ((i = 1; i <= pairs; i++)); do
    image=$dir/pair.eeprom
    rm -f "$image"
    w_image=$image
    if [ "$through_link" = link ]; then
      w_image=$dir/link.eeprom
      ln -sfn pair.eeprom "$w_image"
    fi
    IDSTAMP_SIM_EEPROM=$image "$sim" "${mac[@]}" > "$dir/m.out" 2> "$dir/m.err" &
    m=$!
    IDSTAMP_SIM_EEPROM=$w_image "$sim" "${text[@]}" > "$dir/w.out" 2> "$dir/w.err" &
    w=$!
    wait $m; m_status=$?
    wait $w; w_status=$?
    problem=""
    [ $m_status = 0 ] || problem+=" -m status $m_status"
    [ $w_status = 0 ] || problem+=" -w status $w_status"
    [ -s "$dir/m.err" ] || [ -s "$dir/w.err" ] && problem+=" standard error: $(cat "$dir/m.err" "$dir/w.err" | head -n 2 | tr '\n' ' ')"
    cmp -s -n 32 "$image" "$mac_ref" || problem+=" MAC record lost"
    cmp -s -n 32 -i 64:64 "$image" "$text_ref" || problem+=" string record lost"
    [ "$w_image" = "$image" ] || [ -L "$w_image" ] || problem+=" the link was replaced"
    if [ -n "$problem" ]; then
      lost=$((lost + 1))
      [ $lost -le 3 ] && echo "$chip pair $i:$problem"
    fi
  done
  echo "$chip: $pairs pairs, $lost with a lost record or a failed run"
  failures=$((failures + lost))
done
exit $((failures > 0))
