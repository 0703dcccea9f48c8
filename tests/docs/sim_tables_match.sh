#!/usr/bin/env bash
# docs/simulated-board.md's settings and faults tables are the ones the board
# reads its settings with: each, from its opening mark to its closing one,
# exactly as idstamp_sim_tables prints it. A setting or fault added without
# its row in the document fails here, and so does a changed name, default,
# range or meaning.
# Usage: sim_tables_match.sh IDSTAMP-SIM-TABLES SIMULATED-BOARD-MD
set -uo pipefail
tool=$1 doc=$2
status=0
for table in settings faults; do
  printed=$("$tool" "$table") || { echo "$tool $table failed"; exit 2; }
  documented=$(sed -n "/^<!-- $table table: /,/^<!-- end of $table table -->\$/p" "$doc")
  if [ "$documented" = "$printed" ]; then
    echo "ok: the $table table"
  else
    echo "$(basename "$doc")'s $table table is not the code's (< document, > code):"
    diff <(printf '%s\n' "$documented") <(printf '%s\n' "$printed")
    echo "replace it with what '$(basename "$tool") $table' prints"
    status=1
  fi
done
exit $status
