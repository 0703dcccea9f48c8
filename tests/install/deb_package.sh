#!/usr/bin/env bash
# cpack makes the build's Debian package: idstamp for powerpc from a board
# build, idstamp-sim for the build machine from a host build. The package
# unpacks with dpkg-deb, names the project's version and its architecture,
# holds the program and the manual page, declares the C library the board
# binary needs, and its program runs.
#   deb_package.sh CPACK BUILD_DIR VERSION PROGRAM "EMULATOR" OBJDUMP
# PROGRAM is the installed path under /usr: sbin/idstamp or bin/idstamp-sim.
set -euo pipefail
cpack=$1 build=$2 version=$3 program=$4 emulator=$5 objdump=$6

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 \
  || { cat "$work/cpack.log"; exit 1; }

case $program in
  sbin/idstamp) name=idstamp arch=powerpc ;;
  bin/idstamp-sim) name=idstamp-sim arch=$(dpkg --print-architecture) ;;
  *) fail "unknown program $program" ;;
esac
deb=$work/out/${name}_${version}_${arch}.deb
[ -f "$deb" ] || fail "no ${deb##*/}; cpack made: $(cd "$work/out" && ls)"

[ "$(dpkg-deb -f "$deb" Package)" = "$name" ] || fail "Package: $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture: $(dpkg-deb -f "$deb" Architecture)"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort | tr '\n' ' ')
[ "$files" = "./usr/$program ./usr/share/man/man8/idstamp.8 " ] || fail "package files: $files"

dpkg-deb -x "$deb" "$work/root"
binary=$work/root/usr/$program
depends=$(dpkg-deb -f "$deb" Depends)
if [ "$name" = idstamp ]; then
  # The newest C library symbol version the binary links against must be
  # within what Depends asks for; a static binary needs none.
  needed=$("$objdump" -T "$binary" 2>/dev/null | grep -o 'GLIBC_[0-9.]*' | sed 's/GLIBC_//' | sort -V | tail -n 1 || true)
  if [ -n "$needed" ]; then
    declared=$(echo "$depends" | sed -n 's/.*libc6 (>= \([0-9.]*\)).*/\1/p')
    [ -n "$declared" ] && dpkg --compare-versions "$declared" ge "$needed" \
      || fail "the binary needs glibc $needed, the package depends on: '$depends'"
  else
    [ -z "$depends" ] || fail "a static binary depends on: $depends"
  fi
  # Without arguments the board's tool prints its usage and nothing else runs.
  out=$($emulator "$binary")
  grep -q "^idstamp version " <<< "$out" && grep -q '^Usage: idstamp' <<< "$out" || fail "idstamp printed: $out"
  echo "idstamp $version for powerpc; Depends: ${depends:-none}"
else
  grep -q 'libc6' <<< "$depends" || fail "idstamp-sim's package depends on: '$depends'"
  # The simulator writes a MAC address and reads it back.
  out=$(cd "$work" && IDSTAMP_SIM_EEPROM=board.eeprom IDSTAMP_SIM_SYSLOG= "$binary" 0 -m 00:11:22:33:44:55 -p)
  grep -q '^MAC address read (1): 00:11:22:33:44:55' <<< "$out" || fail "idstamp-sim printed: $out"
  echo "idstamp-sim $version for $arch; Depends: $depends"
fi
