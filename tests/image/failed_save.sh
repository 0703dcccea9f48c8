#!/usr/bin/env bash
# A run whose image can't be saved (a full file system) never ends with status
# 0: it ends with 74 and says so last on standard error, and the old image
# stays whole, so the next run reads it. A run that only reads on a full file
# system keeps the tool's status. The file system is a tiny tmpfs, mounted in
# a mount namespace of the test's own (as root, or as a user mapped to root).
# Usage: failed_save.sh PROGRAM [ARGUMENT]...
#   PROGRAM and its first arguments run the tool on the simulated board:
#   idstamp-sim, or board_run.sh with the board binary and its preload.
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

if [ "${1:-}" != --inside ]; then
  sim=("$(realpath "$1")" "${@:2}")
  dir=$(mktemp -d)
  trap 'rm -rf "$dir"' EXIT
  for unshare in "unshare -m" "unshare -r -m"; do
    if $unshare mount -t tmpfs -o size=16k tmpfs "$dir" 2> /dev/null; then
      $unshare "$0" --inside "$dir" "${sim[@]}"
      exit
    fi
  done
  echo "skipped: no mount namespace for a tmpfs here"
  exit 0
fi

# Inside the namespace: $2 is the directory to mount the tmpfs on.
dir=$2
sim=("${@:3}")
cd "$dir" || exit 1
# refs/ keeps the reference images; full/ is the tiny file system that fills up.
mkdir refs full
mount -t tmpfs -o size=16k tmpfs "$dir/full" || { echo "cannot mount the tmpfs"; exit 1; }

old_mac=02:00:00:00:00:01
new_mac=02:00:00:00:00:02
for chip in ds2431 ds28ec20; do
  for mac in $old_mac $new_mac; do
    IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=refs/$chip.$mac "${sim[@]}" 0 -m $mac > "refs/$chip.$mac.out" \
      || { echo "-m $mac on $chip failed with space to spare"; exit 1; }
  done
done

# fill: takes every block of full/ that is still free.
fill() { dd if=/dev/zero of=full/filler bs=4k > /dev/null 2>&1; [ "$(df --output=avail full | tail -n 1 | tr -d " ")" = 0 ]; }

# NAME CHIP WANT_STATUS ACTION...: on a full file system, with the old image.
cases=(
  "MAC record on a DS2431 (four rows)|ds2431|74|0 -m $new_mac"
  "MAC record on a DS28EC20 (one row)|ds28ec20|74|0 -m $new_mac"
  "write of a chip that then fails (the tool's 255)|ds2431|74|0 -m $new_mac|power-loss=1"
  "read only|ds2431|0|0 -p"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name chip want action faults <<< "$entry"
  rm -rf full/* full/.[!.]*
  cp "refs/$chip.$old_mac" full/board.eeprom
  fill || { fail "$name: full/ did not fill: $(df full | tail -n 1)"; continue; }
  # shellcheck disable=SC2086 # the action is words
  IDSTAMP_SIM_FAULTS=${faults:-} IDSTAMP_SIM_EEPROM=full/board.eeprom timeout 300 "${sim[@]}" $action > out 2> err
  status=$?
  problem=""
  [ $status = "$want" ] || problem+=" status $status, not $want;"
  if [ "$want" = 74 ]; then
    grep -q "No space left on device" err || problem+=" the failed save is not said;"
    [ "$(tail -n 1 err)" = "idstamp-sim: full/board.eeprom: not saved: the image lacks the chip's last changes (exit status 74)" ] \
      || problem+=" last line: $(tail -n 1 err);"
    # The simulator adds nothing to standard output: the tool's output is that of a good run.
    if [ -z "$faults" ] && ! diff -q <(grep -v '^IMMR mapped' out) <(grep -v '^IMMR mapped' "refs/$chip.$new_mac.out") > /dev/null; then
      problem+=" standard output differs from a good run's;"
    fi
  else
    [ ! -s err ] || problem+=" standard error: $(head -c 200 err);"
  fi
  cmp -s full/board.eeprom "refs/$chip.$old_mac" || problem+=" the old image was changed;"
  stray=$(cd full && ls -A | grep -v '^board\.eeprom$\|^board\.eeprom\.lock$\|^filler$' | tr '\n' ' ')
  [ -z "$stray" ] || problem+=" left: $stray;"
  # With space again the old image reads back whole, and the write succeeds.
  rm -f full/filler
  IDSTAMP_SIM_EEPROM=full/board.eeprom "${sim[@]}" 0 -p > out 2> err
  [ $? = 0 ] && grep -q "MAC address read (1): $old_mac" out || problem+=" the old image no longer reads: $(tail -n 2 out);"
  IDSTAMP_SIM_EEPROM=full/board.eeprom "${sim[@]}" 0 -m $new_mac > /dev/null 2> err
  [ $? = 0 ] && cmp -s full/board.eeprom "refs/$chip.$new_mac" || problem+=" no good save once there was space: $(head -c 200 err);"
  if [ -n "$problem" ]; then
    fail "$name:$problem"
  else
    echo "ok: $name: status $status"
  fi
done

finish "no unsaved image ended with status 0"
