#!/usr/bin/env bash
# Runs every runnable example of the README, docs/*.md and the manual page
# with cram and compares what it prints with what the document shows. Each
# document runs in a scratch folder of its own that looks like the source
# directory after a build (build/default/frontend/idstamp-sim,
# build/default/bench/idstamp_soak, production/stamp-board, and idstamp on
# PATH for the manual page's examples), never in the source tree. The system
# log goes nowhere unless an example says where, and stamp-board's lock is in
# the folder.
# Usage: run_doc_examples.sh SOURCE-DIR IDSTAMP-SIM IDSTAMP-SOAK [DOCUMENT...]
set -uo pipefail
command -v cram3 > /dev/null || { echo "skipped: cram3 (python3-cram) is not installed"; exit 77; }
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
src=$(realpath "$1")
export IDSTAMP_DOCS_SIM IDSTAMP_DOCS_SOAK IDSTAMP_DOCS_SOURCE=$src
IDSTAMP_DOCS_SIM=$(realpath "$2")
IDSTAMP_DOCS_SOAK=$(realpath "$3")
shift 3
documents=("$@")
[ ${#documents[@]} -gt 0 ] || documents=("$src/README.md" "$src"/docs/*.md "$src/man/idstamp.8")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Run first in every document's folder: the layout of a built source tree.
cat > "$scratch/layout.sh" <<'LAYOUT'
mkdir -p build/default/frontend build/default/bench production bin
ln -s "$IDSTAMP_DOCS_SIM" build/default/frontend/idstamp-sim
ln -s "$IDSTAMP_DOCS_SIM" bin/idstamp-sim
ln -s "$IDSTAMP_DOCS_SIM" bin/idstamp
ln -s "$IDSTAMP_DOCS_SOAK" build/default/bench/idstamp_soak
ln -s "$IDSTAMP_DOCS_SOURCE/production/stamp-board" production/stamp-board
# stamp-board's station lock in the folder, not in /tmp where the suite's own
# production test may hold it.
export PATH="$PWD/bin:$PATH" IDSTAMP_SIM_SYSLOG= STAMP_LOCK=$PWD/stamp-board.lock
unset IDSTAMP_SIM_EEPROM IDSTAMP_SIM_CHIP IDSTAMP_SIM_ROM IDSTAMP_SIM_FAULTS IDSTAMP_SIM_SEED \
  IDSTAMP_SIM_CHIP_TIMING IDSTAMP_SIM_TRACE IDSTAMP_SIM_REPORT IDSTAMP_SIM_TPROG_US IDSTAMP_SIM_COUNTER \
  IDSTAMP_SIM_ACCESS_NS IDSTAMP
LAYOUT

mkdir "$scratch/tests"
for document in "${documents[@]}"; do
  name=$(basename "$document")
  {
    echo "The layout of a built source tree."
    echo
    echo "  \$ . \"$scratch/layout.sh\""
    echo
    "$here/doc_examples.py" "$document" || exit 2
  } > "$scratch/tests/$name.t" || exit 2
  echo "$name: $(grep -c ', line [0-9]*:$' "$scratch/tests/$name.t") examples, $(($(grep -c '^  \$ ' "$scratch/tests/$name.t") - 1)) commands"
done
cd "$scratch" || exit 2
TMPDIR=$scratch cram3 --shell=/bin/bash -v tests/*.t
