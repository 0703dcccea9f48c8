#!/usr/bin/env bash
# Shell scripts of the project that set pipefail never pipe echo or printf
# into a reader that may stop before the end of its input (grep -q, -m or -l,
# head). Bash's echo writes a multi-line text one line per write: once the
# reader has what it needs and exits, the next write kills echo with SIGPIPE,
# and pipefail makes the pipeline fail although the reader found its line,
# rarely, and more often on a loaded machine. grep -q PATTERN <<< "$text"
# has no second process to lose.
#   no_early_exit_pipes.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
cd "$source_dir" || exit 2

# Every shell script outside build trees: *.sh, or a file starting with a sh
# or bash #! line.
scripts=()
while IFS= read -r -d '' file; do
  case $file in
    *.sh) scripts+=("$file") ;;
    *) head -c 64 "$file" 2> /dev/null | grep -Eq '^#!.*/(env )?(ba)?sh( |$)' && scripts+=("$file") ;;
  esac
done < <(find . \( -name build -o -name .git \) -prune -o -type f -print0)
[ ${#scripts[@]} -gt 10 ] || { echo "found only ${#scripts[@]} shell scripts under $source_dir"; exit 2; }

writer='(^|[;&|({]|then|do|if|!)[[:space:]]*(echo|printf)[[:space:]][^|]*'
reader='\|[[:space:]]*(grep([[:space:]]+-[A-Za-z]+)*[[:space:]]+-[A-Za-z]*[qml][A-Za-z]*|head)([[:space:]]|$)'
found=0
for file in "${scripts[@]}"; do
  grep -q 'pipefail' "$file" || continue
  while IFS= read -r hit; do
    echo "${file#./}:$hit"
    found=$((found + 1))
  done < <(grep -nE "$writer$reader" "$file")
done
echo "${#scripts[@]} shell scripts checked; $found pipes of echo or printf into a reader that stops early"
exit $((found > 0))
