#!/usr/bin/env bash
# The profiles measured on the development machine (tests/noise/measured/)
# replayed on the virtual clock: each run of a MAC write on either chip ends 0
# with exactly the undisturbed run's image, or 255, and each profile lets some
# run through. Every run is the same each time for its seed.
# Usage: measured_profiles_replay.sh IDSTAMP-SIM PROFILE-DIR
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../image/checks.sh"
sim=$(realpath "$1")
profiles=$(realpath "$2")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
mac=00:11:22:33:44:55
runs=0
for chip in ds2431 ds28ec20; do
  IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=want.$chip "$sim" 0 -m $mac > /dev/null 2>&1 || fail "$chip: undisturbed run failed"
done
for profile in "$profiles"/*.json; do
  name=$(basename "$profile" .json)
  ok=0
  for chip in ds2431 ds28ec20; do
    for seed in 1 2 3; do
      rm -f got.eeprom
      IDSTAMP_SIM_FAULTS=noise=$profile IDSTAMP_SIM_SEED=$seed IDSTAMP_SIM_CHIP=$chip IDSTAMP_SIM_EEPROM=got.eeprom \
        timeout 300 "$sim" 0 -m $mac > /dev/null 2> err
      status=$?
      runs=$((runs + 1))
      case $status in
        0) ok=$((ok + 1)); cmp -s got.eeprom want.$chip || fail "$name, $chip, seed $seed: status 0 with another image" ;;
        255) ;;
        *) fail "$name, $chip, seed $seed: status $status: $(head -c 300 err)" ;;
      esac
    done
  done
  [ $ok -gt 0 ] || fail "$name: no run got through"
done
finish "ok: $runs replays of the measured profiles, each exact or refused"
