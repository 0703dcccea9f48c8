#!/usr/bin/env bash
# Outside tests/ no source file runs past 300 lines and no function past 60,
# so a reader never scrolls through one: C++ functions as pmccabe counts
# them (its fifth column, the function's lines), Python functions from their
# first to their last line. Documents, data and the manual page are not code.
#   small_files_and_functions.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
command -v pmccabe > /dev/null || { echo "pmccabe is not installed: skipped"; exit 77; }

sources=()
while IFS= read -r -d '' file; do
  case $file in
    ./tests/* | ./build/* | ./.git/* | ./shared/*) continue ;;
    *.cpp | *.h | *.py | *.sh | *.cmake | */CMakeLists.txt) sources+=("$file") ;;
    *) head -c 64 "$file" 2> /dev/null | grep -Eq '^#!.*(python3|bash|sh)' && sources+=("$file") ;;
  esac
done < <(find . -type f -print0 | sort -z)

failed=0
for file in "${sources[@]}"; do
  lines=$(wc -l < "$file")
  [ "$lines" -le 300 ] || { echo "${file#./}: $lines lines"; failed=1; }
done

cxx=()
for file in "${sources[@]}"; do
  case $file in *.cpp | *.h) cxx+=("$file") ;; esac
done
long=$(pmccabe -v "${cxx[@]}" 2> /dev/null | awk '$5 ~ /^[0-9]+$/ && $5 > 60 { print $6 " " $7 ": " $5 " lines" }')
[ -z "$long" ] || { echo "$long"; failed=1; }

python=()
for file in "${sources[@]}"; do
  case $file in
    *.py) python+=("$file") ;;
    *.*) ;;
    *) head -c 64 "$file" | grep -q python3 && python+=("$file") ;;
  esac
done
if [ ${#python[@]} -gt 0 ]; then
  python3 - "${python[@]}" <<'PY' || failed=1
import ast, sys
bad = False
for path in sys.argv[1:]:
    for node in ast.walk(ast.parse(open(path).read())):
        if isinstance(node, (ast.FunctionDef, ast.AsyncFunctionDef)):
            length = node.end_lineno - node.lineno + 1
            if length > 60:
                print("%s(%d): %s: %d lines" % (path[2:], node.lineno, node.name, length))
                bad = True
sys.exit(1 if bad else 0)
PY
fi
[ $failed = 0 ] && echo "ok: ${#sources[@]} source files, none over 300 lines, no function over 60"
exit $failed
