#!/usr/bin/env bash
# Runs the board's binary under qemu-ppc, in a private mount namespace whose
# /dev is a fresh tmpfs: /dev/mem there is the null device, which cannot be
# mapped, and the emulator lacks the capability to open a real one, so not even
# a run without the simulated board, or a binary that gets past it, can reach
# the machine's physical memory. Refuses to run the binary unless the
# namespace and its /dev are in place.
#   board_run.sh QEMU SYSROOT PRELOAD|none PROGRAM [ARG]...
# PRELOAD is the board library preloaded into the program; "none" runs the
# program bare (only to show that this fails safely).
set -euo pipefail

if [ "${1-}" != --inside ]; then
  [ $# -ge 4 ] || { echo "usage: $0 QEMU SYSROOT PRELOAD|none PROGRAM [ARG]..." >&2; exit 2; }
  if [ "$(id -u)" = 0 ]; then ns=(-m); else ns=(-r -m); fi
  exec unshare "${ns[@]}" --propagation private -- "$0" --inside "$(readlink /proc/self/ns/mnt)" "$@"
fi

outer_ns=$2 qemu=$3 sysroot=$4 preload=$5
shift 5
newdev=
refuse() {
  echo "board_run.sh: $*; the board's binary is not run" >&2
  [ -z "$newdev" ] || { umount -R "$newdev" 2>/dev/null; rmdir "$newdev" 2>/dev/null; }
  exit 99
}

[ "$(readlink /proc/self/ns/mnt)" != "$outer_ns" ] || refuse "not in a mount namespace of its own"
# A /dev of a few harmless devices, /dev/mem among them bound to the null
# device, built beside the old one and then mounted over it.
newdev=$(mktemp -d /tmp/idstamp-board-dev.XXXXXX)
mount -t tmpfs -o size=16k,mode=755 idstamp-board-dev "$newdev" || refuse "cannot mount a tmpfs"
for name in null zero urandom mem; do
  : >"$newdev/$name"
  source=/dev/$name
  [ "$name" = mem ] && source=/dev/null
  mount --bind "$source" "$newdev/$name" || refuse "cannot bind $source"
done
ln -s /proc/self/fd "$newdev/fd"
mount --rbind "$newdev" /dev || refuse "cannot mount the new /dev in place"
umount -R "$newdev" && rmdir "$newdev" && newdev=
[ -c /dev/mem ] && [ "$(stat -c %t:%T /dev/mem)" = 1:3 ] || refuse "/dev/mem is not the null device"

# And the emulator runs without the capabilities that opening a real /dev/mem
# (CAP_SYS_RAWIO) and real-time priority (CAP_SYS_NICE) need.
drop=(setpriv --bounding-set -sys_rawio,-sys_nice)
if [ "$preload" = none ]; then
  exec "${drop[@]}" "$qemu" -L "$sysroot" "$@"
fi
exec "${drop[@]}" "$qemu" -L "$sysroot" -E "LD_PRELOAD=$preload" \
  -E "IDSTAMP_SIM_ACCESS_NS=${IDSTAMP_SIM_ACCESS_NS:-500}" "$@"
