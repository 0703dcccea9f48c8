#!/usr/bin/env bash
# A bus trace of the tool decodes, in sigrok's standard 1-Wire decoders, as the
# Read ROM that the tool itself reports: same command, same 64-bit ROM code.
set -euo pipefail
sim=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

export IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_SYSLOG=syslog IDSTAMP_SIM_ROM=2d112233445566
"$sim" 0 -m 00:11:22:33:44:55 > /dev/null
IDSTAMP_SIM_TRACE=bus.vcd "$sim" 0 -p > out.txt

crc=$(sed -n 's/^8-bit CRC Code\.*: \([0-9a-f][0-9a-f]\)$/\1/p' out.txt | head -n 1)
serial=$(sed -n 's/^48-bit Serial Number: //p' out.txt | head -n 1 | tr -d ' ')
family=$(sed -n 's/^8-bit Family code\.*: //p' out.txt | head -n 1)
[ -n "$crc" ] && [ "$serial" = 665544332211 ] && [ "$family" = 2d ] || { echo "unexpected report:"; cat out.txt; exit 1; }

# The decoders need about 10 samples a microsecond; the trace's unit is 1 ns.
sigrok-cli -I vcd:downsample=100 -i bus.vcd -P onewire_link:owr=owr,onewire_network -A onewire_network > decoded.txt
want="ROM: 0x${crc}${serial}${family}"
grep -q "ROM command: 0x33 'Read ROM'" decoded.txt || { echo "no Read ROM decoded"; head -20 decoded.txt; exit 1; }
grep -q "$want" decoded.txt || { echo "decoded ROM is not $want:"; grep 'ROM' decoded.txt | head; exit 1; }
echo "decoded: $want"
