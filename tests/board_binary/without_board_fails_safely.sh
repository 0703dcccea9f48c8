#!/usr/bin/env bash
# The board's binary run bare, without the simulated board preloaded: in the
# namespace board_run.sh makes, /dev/mem is the null device, which opens but
# cannot be mapped, so the run ends with status 255 before any register
# access; nor may it raise its priority. And board_run.sh refuses to start the binary outside a namespace of
# its own.
#   without_board_fails_safely.sh BOARD_RUN QEMU SYSROOT PROGRAM
set -uo pipefail
run=$1 qemu=$2 sysroot=$3 program=$4

out=$("$run" "$qemu" "$sysroot" none "$program" 0 -p 2>&1)
status=$?
echo "$out"
[ "$status" = 255 ] || { echo "FAIL: status $status, expected 255"; exit 1; }
grep -qx 'Call to mmap failed - errno\[19\]' <<< "$out" \
  || { echo "FAIL: expected the mapping of the null device to fail with ENODEV (19)"; exit 1; }
if grep -q "IMMR mapped" <<< "$out"; then echo "FAIL: a window was mapped"; exit 1; fi
grep -qx 'sched_setscheduler: Operation not permitted' <<< "$out" \
  || { echo "FAIL: the bare binary was allowed real-time priority"; exit 1; }

# Started as if inside, but in this test's own namespace: refused.
out=$("$run" --inside "$(readlink /proc/self/ns/mnt)" "$qemu" "$sysroot" none "$program" 0 -p 2>&1)
status=$?
echo "$out"
[ "$status" = 99 ] && grep -q "not in a mount namespace of its own" <<< "$out" \
  || { echo "FAIL: board_run.sh ran the binary in the caller's namespace (status $status)"; exit 1; }
if grep -q "idstamp version" <<< "$out"; then echo "FAIL: the binary ran"; exit 1; fi
echo "PASS"
