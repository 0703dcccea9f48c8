#!/usr/bin/env bash
# The board's binary and idstamp-sim print the same version line and usage
# text. Only the run without arguments is safe here: any other command line
# would ask for real-time priority or /dev/mem from the machine running it.
set -euo pipefail
emulator=$1 board=$2 sim=$3
board_out=$($emulator "$board"; echo "status $?")
sim_out=$($emulator "$sim"; echo "status $?")
[ "$board_out" = "$sim_out" ] || { diff <(echo "$board_out") <(echo "$sim_out"); exit 1; }
[ "$(echo "$board_out" | wc -l)" = 20 ] || { echo "expected version, empty line, 17 usage lines, status:"; echo "$board_out"; exit 1; }
echo "$board_out" | tail -n 1 | grep -qx "status 0"
