#!/usr/bin/env bash
# Settings that would mislead are refused before the tool runs: status 255, the
# one line below on standard error, nothing on standard output, and the image
# as it was. A misspelt name, an image of the other chip, a number out of its
# range each say what is wrong.
# Usage: bad_settings_refused.sh IDSTAMP-SIM
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/../image/checks.sh"
sim=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# refused NAME LINE ARGS VAR=VALUE...: idstamp-sim ARGS (words) with those settings.
refused() {
  local name=$1 line=$2 args=$3
  shift 3
  # shellcheck disable=SC2086 # the arguments are words
  timeout 10 env "$@" "$sim" $args > out 2> err
  local status=$?
  if [ $status != 255 ] || [ -s out ] || [ "$(cat err)" != "$line" ]; then
    fail "$name: status $status, standard error '$(head -c 300 err)', $(wc -c < out) bytes of output"
  else
    echo "ok: $name: $line"
  fi
}

# A DS2431 image and a DS28EC20 image, each as a run of that chip made it.
IDSTAMP_SIM_EEPROM=ds2431.eeprom "$sim" 0 -m 02:00:00:00:00:01 > /dev/null 2>&1
IDSTAMP_SIM_CHIP=ds28ec20 IDSTAMP_SIM_EEPROM=ds28ec20.eeprom "$sim" 0 -m 02:00:00:00:00:02 > /dev/null 2>&1
cp ds2431.eeprom ds2431.ref
cp ds28ec20.eeprom ds28ec20.ref
head -c 1000 /dev/zero > odd.eeprom
[ "$(stat -c %s ds2431.eeprom)" = 144 ] && [ "$(stat -c %s ds28ec20.eeprom)" = 2624 ] \
  || fail "the images were not made: $(ls -l)"

refused "a misspelt name" \
  "idstamp-sim: IDSTAMP_SIM_FAULT: unknown setting; the nearest known one is IDSTAMP_SIM_FAULTS" \
  "0 -c 0" IDSTAMP_SIM_EEPROM=ds2431.eeprom IDSTAMP_SIM_FAULT=absent
refused "a setting in lower case" \
  "idstamp-sim: idstamp_sim_faults: unknown setting; the nearest known one is IDSTAMP_SIM_FAULTS" \
  "0 -c 0" IDSTAMP_SIM_EEPROM=ds2431.eeprom idstamp_sim_faults=absent
refused "an unknown name, set but empty" \
  "idstamp-sim: IDSTAMP_SIM_TPROG: unknown setting; the nearest known one is IDSTAMP_SIM_TPROG_US" \
  "0 -p" IDSTAMP_SIM_EEPROM=ds2431.eeprom IDSTAMP_SIM_TPROG=
refused "a DS2431 image run as a DS28EC20" \
  "idstamp-sim: ds2431.eeprom: the image holds a DS2431 (144 bytes), not a DS28EC20 (IDSTAMP_SIM_CHIP=ds28ec20)" \
  "0 -m 02:00:00:00:00:09" IDSTAMP_SIM_EEPROM=ds2431.eeprom IDSTAMP_SIM_CHIP=ds28ec20
refused "a DS28EC20 image run as a DS2431" \
  "idstamp-sim: ds28ec20.eeprom: the image holds a DS28EC20 (2624 bytes), not a DS2431 (IDSTAMP_SIM_CHIP=ds2431)" \
  "0 -m 02:00:00:00:00:09" IDSTAMP_SIM_EEPROM=ds28ec20.eeprom IDSTAMP_SIM_CHIP=ds2431
refused "an image of neither chip" \
  "idstamp-sim: odd.eeprom: image is 1000 bytes; a DS2431 image is 144 bytes, a DS28EC20 image 2624 and a DS2433 image 512" \
  "0 -p" IDSTAMP_SIM_EEPROM=odd.eeprom IDSTAMP_SIM_CHIP=ds28ec20
refused "a programming time out of range" 'idstamp-sim: IDSTAMP_SIM_TPROG_US: "1000001" is not 0 to 1000000' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_TPROG_US=1000001
refused "a programming time that is no number" 'idstamp-sim: IDSTAMP_SIM_TPROG_US: "10ms" is not a number' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_TPROG_US=10ms
refused "a seed too big" \
  'idstamp-sim: IDSTAMP_SIM_SEED: "18446744073709551616" is not 0 to 18446744073709551615' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_SEED=18446744073709551616
refused "an unknown clock" 'idstamp-sim: IDSTAMP_SIM_CLOCK: unknown clock "wall" (virtual or host)' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_CLOCK=wall
refused "real sleeps on the virtual clock" \
  'idstamp-sim: IDSTAMP_SIM_SLEEP: only on the host'"'"'s clock (IDSTAMP_SIM_CLOCK=host)' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_SLEEP=real
refused "a gap profile on the virtual clock" \
  'idstamp-sim: IDSTAMP_SIM_GAPS: only on the host'"'"'s clock (IDSTAMP_SIM_CLOCK=host)' \
  "0 -p" IDSTAMP_SIM_EEPROM= IDSTAMP_SIM_GAPS=gaps.json
cmp -s ds2431.eeprom ds2431.ref && cmp -s ds28ec20.eeprom ds28ec20.ref || fail "a refused run changed an image"

# Without IDSTAMP_SIM_CHIP the image's size is the chip; a matching one runs.
for entry in "ds2431.eeprom|" "ds28ec20.eeprom|" "ds2431.eeprom|ds2431" "ds28ec20.eeprom|DS28EC20"; do
  IFS='|' read -r image chip <<< "$entry"
  family=2d
  [ "$image" = ds28ec20.eeprom ] && family=43
  env ${chip:+IDSTAMP_SIM_CHIP=$chip} IDSTAMP_SIM_EEPROM=$image timeout 10 "$sim" 0 -p > out 2> err
  status=$?
  if [ $status != 0 ] || [ -s err ] || ! grep -qx "8-bit Family code...: $family" out; then
    fail "$image with IDSTAMP_SIM_CHIP '$chip': status $status, $(head -c 200 err), $(grep Family out)"
  else
    echo "ok: $image with IDSTAMP_SIM_CHIP '$chip' runs family $family"
  fi
done

finish "every bad setting refused as it should be"
