# Cross build for the board: 32-bit big-endian PowerPC Linux with Debian's
# powerpc-linux-gnu toolchain. Tests run under qemu-ppc with the cross sysroot.
# The integrator picks the CPU the usual way, e.g.
#   -DCMAKE_CXX_FLAGS_INIT=-mcpu=e300c3   (or CMAKE_CXX_FLAGS)
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)

set(IDSTAMP_CROSS_PREFIX powerpc-linux-gnu- CACHE STRING "Cross tool prefix")
set(CMAKE_C_COMPILER ${IDSTAMP_CROSS_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${IDSTAMP_CROSS_PREFIX}g++)

set(IDSTAMP_SYSROOT /usr/powerpc-linux-gnu CACHE PATH "Target libraries for the emulator")
set(CMAKE_FIND_ROOT_PATH ${IDSTAMP_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-ppc -L ${IDSTAMP_SYSROOT})
