#!/usr/bin/env bash
# Builds the board binary the way a board's build system does and checks what
# it stages: a fresh build directory, the cross toolchain, exactly the CMake
# arguments of Buildroot's cmake-package or of Yocto's cmake class (plus the
# package's own options from packaging/), no GoogleTest anywhere the build may
# look, and an install into DESTDIR.
#   cross_stage.sh buildroot|yocto SOURCE_DIR CMAKE CROSS_PREFIX SYSROOT VERSION
set -euo pipefail
flavour=$1 source=$2 cmake=$3 cross=$4 sysroot=$5 version=$6

fail() { echo "$flavour: $*"; exit 1; }
# A command that stops the script without a message of its own still says
# which it was.
trap 'status=$?; echo "$flavour: line $LINENO: $BASH_COMMAND: status $status"' ERR

# The package files name the project's version and licence file.
case $flavour in
  buildroot)
    mk=$source/packaging/buildroot/idstamp/idstamp.mk
    grep -qx "IDSTAMP_VERSION = $version" "$mk" || fail "idstamp.mk does not name version $version"
    grep -qx "IDSTAMP_LICENSE_FILES = LICENSE" "$mk" && [ -f "$source/LICENSE" ] || fail "no licence file for idstamp.mk" ;;
  yocto)
    recipe=$source/packaging/yocto/idstamp_$version.bb
    [ -f "$recipe" ] || fail "no recipe idstamp_$version.bb"
    md5=$(md5sum < "$source/LICENSE" | cut -d' ' -f1)
    grep -q "file://LICENSE;md5=$md5\"" "$recipe" || fail "LIC_FILES_CHKSUM does not match LICENSE ($md5)" ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The target's staging area: what the build system has built for the board so
# far. It holds no GoogleTest, so a configure that looked for it would fail.
staging=$work/staging
mkdir -p "$staging/usr/include" "$staging/usr/lib"

# Options the package files add to the build system's own.
conf_opts() {
  case $flavour in
    buildroot) sed -n 's/^IDSTAMP_CONF_OPTS *+\{0,1\}= *//p' "$source/packaging/buildroot/idstamp/idstamp.mk" ;;
    yocto) sed -n 's/^EXTRA_OECMAKE *+\{0,1\}= *"\(.*\)"/\1/p' "$source"/packaging/yocto/idstamp_*.bb ;;
  esac
}

# A toolchain file like the one each system writes: the target, the cross
# compilers, its default flags, and every find_* confined to the staging area.
toolchain=$work/toolchain.cmake
case $flavour in
  buildroot) flags="-D_LARGEFILE_SOURCE -D_LARGEFILE64_SOURCE -D_FILE_OFFSET_BITS=64 -Os -g0"; program_mode=NEVER ;;
  yocto) flags="-O2 -pipe -g -feliminate-unused-debug-types"; program_mode=ONLY ;;
  *) echo "unknown flavour $flavour" >&2; exit 2 ;;
esac
# Yocto names the binutils too, since its programs are found only in its sysroots.
binutils=""
if [ "$flavour" = yocto ]; then
  for tool in AR:ar RANLIB:ranlib NM:nm STRIP:strip OBJCOPY:objcopy OBJDUMP:objdump; do
    binutils+="set(CMAKE_${tool%%:*} $(command -v "${cross}${tool#*:}") CACHE FILEPATH \"\")"$'\n'
  done
fi
cat > "$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(CMAKE_C_COMPILER $(command -v "${cross}gcc"))
set(CMAKE_CXX_COMPILER $(command -v "${cross}g++"))
set(CMAKE_C_FLAGS "$flags" CACHE STRING "")
set(CMAKE_CXX_FLAGS "$flags" CACHE STRING "")
set(CMAKE_FIND_ROOT_PATH "$staging")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM $program_mode)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
$binutils
TOOLCHAIN

# $1: build directory; the rest: extra arguments for this configure.
configure() {
  local build=$1
  shift
  mkdir -p "$build"
  case $flavour in
    buildroot)
      (cd "$build" && "$cmake" "$source" -G "Unix Makefiles" \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_INSTALL_PREFIX="/usr" \
        -DCMAKE_COLOR_MAKEFILE=OFF \
        -DBUILD_DOC=OFF -DBUILD_DOCS=OFF -DBUILD_EXAMPLE=OFF -DBUILD_EXAMPLES=OFF \
        -DBUILD_TEST=OFF -DBUILD_TESTS=OFF -DBUILD_TESTING=OFF \
        -DBUILD_SHARED_LIBS=ON \
        -DCMAKE_BUILD_TYPE=Release \
        $(conf_opts) "$@") ;;
    yocto)
      (cd "$build" && "$cmake" -G Ninja -DCMAKE_MAKE_PROGRAM=ninja "$source" \
        -DCMAKE_INSTALL_PREFIX:PATH=/usr \
        -DCMAKE_INSTALL_BINDIR:PATH=bin \
        -DCMAKE_INSTALL_SBINDIR:PATH=sbin \
        -DCMAKE_INSTALL_LIBEXECDIR:PATH=libexec \
        -DCMAKE_INSTALL_SYSCONFDIR:PATH=/etc \
        -DCMAKE_INSTALL_SHAREDSTATEDIR:PATH=../com \
        -DCMAKE_INSTALL_LOCALSTATEDIR:PATH=/var \
        -DCMAKE_INSTALL_LIBDIR:PATH=lib \
        -DCMAKE_INSTALL_INCLUDEDIR:PATH=include \
        -DCMAKE_INSTALL_DATAROOTDIR:PATH=share \
        -DLIB_SUFFIX= \
        -DCMAKE_INSTALL_SO_NO_EXE=0 \
        -DCMAKE_TOOLCHAIN_FILE:FILEPATH="$toolchain" \
        -DCMAKE_NO_SYSTEM_FROM_IMPORTED=1 \
        -DCMAKE_EXPORT_NO_PACKAGE_REGISTRY=ON \
        -DFETCHCONTENT_FULLY_DISCONNECTED=ON \
        -DCMAKE_EXPORT_COMPILE_COMMANDS:BOOL=ON \
        -DCMAKE_BUILD_TYPE=Release \
        $(conf_opts) "$@" \
        -Wno-dev) ;;
  esac
}

build=$work/build
target=$work/target
configure "$build" > "$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
case $flavour in
  buildroot)
    make -C "$build" -j2 > "$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
    make -C "$build" DESTDIR="$target" install/fast > "$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; } ;;
  yocto)
    "$cmake" --build "$build" --target all -- -j2 > "$work/build.log" 2>&1 || { cat "$work/build.log"; exit 1; }
    DESTDIR="$target" "$cmake" --build "$build" --target install > "$work/install.log" 2>&1 \
      || { cat "$work/install.log"; exit 1; } ;;
esac

# Exactly the tool and its manual page are staged.
staged=$(cd "$target" && find . ! -type d | sed 's|^\./||' | sort | tr '\n' ' ')
[ "$staged" = "usr/sbin/idstamp usr/share/man/man8/idstamp.8 " ] || fail "staged: $staged"
[ -x "$target/usr/sbin/idstamp" ] || fail "usr/sbin/idstamp is not executable"
header=$("${cross}readelf" -h "$target/usr/sbin/idstamp")
grep -q 'Machine: *PowerPC$' <<< "$header" && grep -q 'big endian' <<< "$header" \
  && grep -q 'Class: *ELF32' <<< "$header" || fail "usr/sbin/idstamp is not a 32-bit big-endian PowerPC program"
cmp "$target/usr/share/man/man8/idstamp.8" "$source/man/idstamp.8" || fail "the staged manual page is not man/idstamp.8"

# Nothing of the tests or the simulated board was built, GoogleTest was never
# looked for, and warnings were not made errors.
[ ! -e "$build/tests" ] && [ ! -e "$build/googletest" ] && [ ! -e "$build/sim" ] \
  || fail "the build tree holds tests, GoogleTest or the simulated board"
! grep -Eq '^(GTEST|GTest|googletest|gtest)[A-Za-z_]*:' "$build/CMakeCache.txt" || fail "GoogleTest was looked for: $(grep -Ei '^[a-z_]*gtest' "$build/CMakeCache.txt")"
! grep -q -- '-Werror' "$build/compile_commands.json" || fail "-Werror is on without IDSTAMP_WERROR"

# Without the arguments the tool prints its version and usage, and touches
# nothing else.
usage=$(qemu-ppc -L "$sysroot" "$target/usr/sbin/idstamp")
[[ $usage == "idstamp version "* ]] || fail "the staged tool printed: $usage"

# The same configure asking for the tests does need GoogleTest and can't find
# it: the staging area really keeps it out of reach.
if configure "$work/with-tests" -DBUILD_TESTING=ON > "$work/with-tests.log" 2>&1; then
  fail "a configure with BUILD_TESTING=ON found GoogleTest; the check above proves nothing"
fi
grep -q 'GTest' "$work/with-tests.log" || { cat "$work/with-tests.log"; fail "the configure with tests failed for another reason"; }

echo "$flavour: staged $staged"
