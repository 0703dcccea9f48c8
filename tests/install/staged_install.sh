#!/usr/bin/env bash
# Stages an install the way Buildroot and Yocto drive it (prefix /usr, files
# under DESTDIR) and checks that exactly the expected files arrive: the
# programs executable, the manual page the one from the sources, naming the
# project's version.
#   staged_install.sh CMAKE BUILD_DIR SOURCE_DIR VERSION EXPECTED_PATH...
set -euo pipefail
cmake=$1 build=$2 source=$3 version=$4
shift 4

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR=$stage/root "$cmake" --install "$build" --prefix /usr >"$stage/install.log" \
  || { cat "$stage/install.log"; exit 1; }

expected=$(printf '%s\n' "$@" | sort)
staged=$(cd "$stage/root" && find . ! -type d | sed 's|^\./||' | sort)
if [ "$staged" != "$expected" ]; then
  echo "staged files differ from the expected ones (< staged, > expected):"
  diff <(echo "$staged") <(echo "$expected") || true
  exit 1
fi

for path in "$@"; do
  case $path in
    */bin/*|*/sbin/*)
      [ -x "$stage/root/$path" ] || { echo "$path is not executable"; exit 1; } ;;
    */man8/idstamp.8)
      cmp "$stage/root/$path" "$source/man/idstamp.8"
      head -n 1 "$stage/root/$path" | grep -q "\"idstamp $version\"" \
        || { echo "$path does not name version $version: $(head -n 1 "$stage/root/$path")"; exit 1; } ;;
  esac
done
echo "staged: $(echo $expected)"
