#!/usr/bin/env bash
# What idstamp-sim leaves beside an image (the image itself, its lock, a
# killed run's temporary file), the traces and save files it writes, and the
# production example's range and log are never part of the
# source tree: none is tracked, and .gitignore keeps every one of them out, as
# the README says. Skips (77) outside a git checkout, e.g. in a source tarball.
#   no_generated_files_tracked.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
command -v git > /dev/null && git rev-parse --is-inside-work-tree > /dev/null 2>&1 || { echo "not a git checkout: skipped"; exit 77; }

failed=0
tracked=$(git ls-files -- '*.eeprom' '*.eeprom.lock' '*.eeprom.tmp.*' '*.vcd' '*.gtkw' range stamp-log.csv)
if [ -n "$tracked" ]; then
  echo "generated files tracked by git:"
  printf '  %s\n' $tracked
  failed=1
fi
# One name of each kind, in a directory that exists, must be ignored.
for name in idstamp-sim.eeprom idstamp-sim.eeprom.lock idstamp-sim.eeprom.tmp.Ab12Cd trace.vcd trace.gtkw range range.lock stamp-log.csv tests/x.eeprom.lock; do
  git check-ignore -q --no-index -- "$name" || { echo "not ignored by .gitignore: $name"; failed=1; }
done
exit $failed
