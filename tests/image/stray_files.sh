#!/usr/bin/env bash
# Files a run leaves behind: the README's runs in a git work tree with the
# project's .gitignore leave git status clean, and the temporary files of runs
# killed during a save are removed by the next run on the image; nothing else
# of a similar name is touched.
# Usage: stray_files.sh IDSTAMP-SIM GITIGNORE
set -uo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/checks.sh"
sim=$(realpath "$1")
gitignore=$(realpath "$2")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
unset IDSTAMP_SIM_FAULTS IDSTAMP_SIM_TRACE IDSTAMP_SIM_REPORT IDSTAMP_SIM_ROM IDSTAMP_SIM_SEED IDSTAMP_SIM_CHIP \
  IDSTAMP_SIM_EEPROM

# The README's runs, in the default image, in a work tree of the project's own.
if command -v git > /dev/null; then
  mkdir tree
  (
    cd tree || exit 1
    git init -q . && cp "$gitignore" .gitignore && git add .gitignore \
      && git -c user.name=test -c user.email=test@example.invalid commit -q -m ignore || exit 1
    "$sim" 0 -m 00:11:22:33:44:55 -p && "$sim" 0 -w "Wexlo rocks" && "$sim" 0 -r -c 2 && "$sim" > /dev/null
  ) > tree.out 2>&1 || fail "the README's runs failed: $(tail -c 300 tree.out)"
  [ -f tree/idstamp-sim.eeprom ] || fail "the README's runs made no idstamp-sim.eeprom"
  untracked=$(git -C tree status --porcelain --untracked-files=all | tr '\n' ' ')
  [ -z "$untracked" ] && echo "ok: git status is clean after the README's runs" \
    || fail "git status after the README's runs: $untracked"
else
  echo "skipped: git status after the README's runs (no git)"
fi

# Temporary files of killed runs, and their look-alikes that must stay.
"$sim" 0 -m 02:00:00:00:00:01 > /dev/null 2>&1
mkdir store elsewhere
mv idstamp-sim.eeprom store/board.eeprom
cp store/board.eeprom kept.ref
ln -s store/board.eeprom link.eeprom
touch elsewhere/target
make_strays() {
  rm -rf store/*.tmp* store/other.eeprom*
  head -c 60 kept.ref > store/board.eeprom.tmp.Ab3xYz # a save cut short
  : > store/board.eeprom.tmp.q1W9zz                   # a run killed before it wrote
  mkfifo store/board.eeprom.tmp.AAAAAA
  mkdir store/board.eeprom.tmp.DIRDIR
  ln -s ../elsewhere/target store/board.eeprom.tmp.LINKED
  touch store/board.eeprom.tmp.ABCDE store/board.eeprom.tmp.ABCDEFG store/board.eeprom.tmp.AB-DEF \
    store/board.eeprom.tmp store/other.eeprom.tmp.ABCDEF
}
kept="store/board.eeprom.tmp store/board.eeprom.tmp.AAAAAA store/board.eeprom.tmp.AB-DEF \
store/board.eeprom.tmp.ABCDE store/board.eeprom.tmp.ABCDEFG store/board.eeprom.tmp.DIRDIR \
store/board.eeprom.tmp.LINKED store/other.eeprom.tmp.ABCDEF "

# NAME IMAGE ACTION...: a run that only reads removes them too.
for entry in "a read|store/board.eeprom|0 -p" "a write|store/board.eeprom|0 -m 02:00:00:00:00:01" \
  "a run through a link|link.eeprom|0 -p" "the usage text|store/board.eeprom|"; do
  IFS='|' read -r name image action <<< "$entry"
  make_strays
  # shellcheck disable=SC2086 # the action is words
  IDSTAMP_SIM_EEPROM=$image timeout 10 "$sim" $action > out 2> err
  status=$?
  left=$(find store -name 'board.eeprom.tmp*' -o -name 'other.eeprom.tmp*' | sort | tr '\n' ' ')
  if [ $status != 0 ] || [ -s err ]; then
    fail "$name: status $status: $(head -c 300 err)"
  elif [ "$left" != "$kept" ]; then
    fail "$name: left $left"
  elif ! cmp -s store/board.eeprom kept.ref || [ ! -f elsewhere/target ]; then
    fail "$name: the image or a link's target was touched"
  else
    echo "ok: $name removes the killed runs' temporary files and nothing else"
  fi
done

finish "no stray files"
