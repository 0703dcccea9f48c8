#!/usr/bin/env bash
# The manual page renders without warnings and describes every option that
# the tool's usage text lists.
#   man_page_covers_usage.sh MAN_PAGE GROFF "EMULATOR" TOOL
# The tool runs without arguments only, so it prints its usage and touches
# nothing else.
set -euo pipefail
page=$1 groff=$2 emulator=$3 tool=$4

warnings=$("$groff" -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns about $page:"; echo "$warnings"; exit 1; }

usage=$($emulator "$tool")
letters=$(echo "$usage" | sed -n 's/^      -\([a-z]\)  .*/\1/p')
[ "$(echo "$letters" | wc -w)" -ge 12 ] || { echo "no option list in the usage text:"; echo "$usage"; exit 1; }
missing=()
for letter in $letters; do
  # Each option is a tagged paragraph whose tag starts with the option.
  grep -A1 -x '\.TP' "$page" | grep -Eq "^\.BI? \\\\-$letter( |$)" || missing+=("-$letter")
done
[ ${#missing[@]} = 0 ] || { echo "the manual page has no entry for ${missing[*]}"; exit 1; }
echo "options documented: $(echo $letters)"
