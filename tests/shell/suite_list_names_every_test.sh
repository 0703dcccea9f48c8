#!/usr/bin/env bash
# docs/testing.md's list of suites names every test this build registers: a
# GoogleTest case through its program (`idstamp_unit_tests`), any other test by
# its own name (`Image.NoStrayFiles`; `Packaging.CrossStage.buildroot`, `.yocto`
# for a family). A test added without a line in the list fails here. The tests
# are read from the files CTest reads (CTestTestfile.cmake, and the lists the
# GoogleTest discovery wrote before any test ran).
#   suite_list_names_every_test.sh BUILD_DIR TESTING_MD
set -uo pipefail
build=$1 doc=$2

[ -r "$build/CTestTestfile.cmake" ] || { echo "no CTestTestfile.cmake in $build"; exit 2; }
[ -r "$doc" ] || { echo "cannot read $doc"; exit 2; }
# Every name in backticks in the document, one per line.
named=$(grep -o '`[^`]*`' "$doc" | tr -d '`' | sort -u)
declare -A known
while IFS= read -r n; do [ -z "$n" ] || known[$n]=1; done <<< "$named"
is_named() { [ -n "${known[$1]+x}" ]; }
# One line per test: its name, a tab, its command.
listing=$(find "$build" \( -name CTestTestfile.cmake -o -name '*_tests.cmake' \) -exec cat {} + |
  sed -n 's/^add_test(\[=\[\(.*\)\]=\] *\(.*\))$/\1\t\2/p' | sort -u)

tests=0 missing=0
while IFS=$'\t' read -r name command; do
  [ -n "$name" ] || continue
  name=${name%%  # *}
  tests=$((tests + 1))
  documented=0
  for word in $command; do
    word=${word//\"/}
    case ${word##*/} in idstamp_*_tests) is_named "${word##*/}" && documented=1 ;; esac
  done
  if [ "$documented" = 0 ]; then
    if is_named "$name"; then
      documented=1
    elif [[ $name == *.*.* ]] && is_named ".${name##*.}" && grep -q "^${name%.*}\." <<< "$named"; then
      documented=1
    fi
  fi
  [ "$documented" = 1 ] || { echo "not in $(basename "$doc")'s list of suites: $name"; missing=$((missing + 1)); }
done <<< "$listing"

[ "$tests" -gt 0 ] || { echo "no tests found in $build"; exit 1; }
echo "$tests tests, $missing not named"
[ "$missing" = 0 ]
