#!/usr/bin/env bash
# An image named through symbolic links is the file at their end: the run reads
# it and saves it there with its permission bits, locks "<target>.lock", and
# leaves every link as it was. A link to an image still to be made makes it
# where the link points.
# Usage: symlinked_image.sh IDSTAMP-SIM
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sim=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

old_mac=02:00:00:00:00:01
new_mac=02:00:00:00:00:02
# The images a MAC record write makes, written straight to a file.
for mac in $old_mac $new_mac; do
  IDSTAMP_SIM_EEPROM=$mac.ref "$sim" 0 -m $mac > /dev/null || { echo "-m $mac on a plain file failed"; exit 1; }
done

# NAME LINK TARGET-AS-STORED: the links below are made fresh for each case;
# TARGET-AS-STORED is where the image must end up, relative to $dir.
cases=(
  "relative link|current.eeprom|store/board1.eeprom"
  "absolute link|abs.eeprom|store/board1.eeprom"
  "link to a link|outer.eeprom|store/board1.eeprom"
  "link in another directory|links/board.eeprom|store/board1.eeprom"
  "link to an image still to be made|fresh.eeprom|store/new.eeprom"
)
for entry in "${cases[@]}"; do
  IFS='|' read -r name link target <<< "$entry"
  rm -rf store links ./*.eeprom ./*.lock
  mkdir store links
  [ "$target" = store/new.eeprom ] || { cp $old_mac.ref "$target"; chmod 0600 "$target"; }
  case $name in
    "relative link"|"link to an image still to be made") ln -s "$target" "$link" ;;
    "absolute link") ln -s "$dir/$target" "$link" ;;
    "link to a link") ln -s "$target" current.eeprom && ln -s current.eeprom "$link" ;;
    "link in another directory") ln -s "../$target" "$link" ;;
  esac
  before=$(readlink "$link")

  # The run reads the record through the link...
  if [ "$target" = store/board1.eeprom ]; then
    IDSTAMP_SIM_EEPROM=$link "$sim" 0 -p > out 2> err
    grep -q "MAC address read (1): $old_mac" out \
      || fail "$name: -p through the link did not read the target's record: $(cat out err | tail -c 300)"
  fi
  # ... and writes the new one there.
  IDSTAMP_SIM_EEPROM=$link "$sim" 0 -m $new_mac > out 2> err
  status=$?
  [ $status = 0 ] && [ ! -s err ] || fail "$name: -m through the link: status $status: $(head -c 300 err)"
  [ -L "$link" ] && [ "$(readlink "$link")" = "$before" ] || fail "$name: the link was replaced or changed"
  cmp -s "$target" $new_mac.ref || fail "$name: $target does not hold the new record"
  if [ "$target" = store/board1.eeprom ]; then
    [ "$(stat -c %a "$target")" = 600 ] || fail "$name: the target's mode became $(stat -c %a "$target")"
  fi
  [ -f "$target.lock" ] || fail "$name: no lock beside the target"
  locks=$(find . -name '*.lock' ! -path "./$target.lock" | tr '\n' ' ')
  [ -z "$locks" ] || fail "$name: lock files beside the links: $locks"
  [ $failures = 0 ] && echo "ok: $name"
done

# A loop of links is refused like any image that can't be opened.
rm -rf ./*.eeprom ./*.lock
ln -s loop-b.eeprom loop-a.eeprom
ln -s loop-a.eeprom loop-b.eeprom
timeout 10 env IDSTAMP_SIM_EEPROM=loop-a.eeprom "$sim" 0 -m $new_mac > out 2> err
status=$?
if [ $status = 255 ] && grep -q "Too many levels of symbolic links" err && [ ! -s out ]; then
  echo "ok: a loop of links is refused"
else
  fail "a loop of links: status $status: $(head -c 300 err)"
fi

finish "every link led to its target"
