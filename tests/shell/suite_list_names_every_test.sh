#!/usr/bin/env bash
# docs/testing.md's list of suites names every test this build registers: a
# GoogleTest case through its program (`idstamp_unit_tests`), any other test by
# its own name (`Image.NoStrayFiles`; `Packaging.CrossStage.buildroot`, `.yocto`
# for a family). A test added without a line in the list fails here.
#   suite_list_names_every_test.sh CTEST BUILD_DIR TESTING_MD
set -uo pipefail
ctest=$1 build=$2 doc=$3

listing=$("$ctest" --test-dir "$build" -N -V 2>/dev/null) || { echo "ctest -N failed in $build"; exit 2; }
[ -r "$doc" ] || { echo "cannot read $doc"; exit 2; }
# Every name in backticks in the document, one per line.
named=$(grep -o '`[^`]*`' "$doc" | tr -d '`' | sort -u)
is_named() { grep -qxF -- "$1" <<< "$named"; }

tests=0 missing=0
command=
while IFS= read -r line; do
  if [[ $line == *"Test command: "* ]]; then
    command=${line#*Test command: }
  elif [[ $line =~ ^\ +Test\ +#[0-9]+:\ (.*)$ ]]; then
      name=${BASH_REMATCH[1]}
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
      command=
  fi
done <<< "$listing"

[ "$tests" -gt 0 ] || { echo "no tests found in $build"; exit 1; }
echo "$tests tests, $missing not named"
[ "$missing" = 0 ]
