#!/usr/bin/env bash
# The board's code holds no floating-point instruction (FPU, AltiVec or SPE):
# the e300c2 core of some parts in this family has no FPU, and a hard-float
# instruction there either traps into the kernel's emulation or kills the
# tool with SIGILL.
#   no_floating_point.sh OBJDUMP PRODUCT_OBJECT... --seam SEAM_OBJECT...
# Product objects may hold none at all. A variadic function of the hardware
# seam (platform_syslog) saves the floating-point argument registers in its
# prologue, but only behind a `bne cr1`, which skips them unless a caller
# passes floating-point arguments; every caller in the product clears that
# bit, and a caller that passed one would show its own FP loads above.
set -euo pipefail
objdump=$1
shift

fp='^(f[a-z]+\.?|lf[a-z]+|stf[a-z]+|mffs\.?|mtfs[a-z0-9]*\.?|mcrfs|lv[a-z]+|stv[a-z]+|v[a-z0-9]+|mfvscr|mtvscr|dss[a-z]*|dst[a-z]*|ev[a-z]+|efs[a-z]+|efd[a-z]+)$'

# Prints "object: function: instruction" for every FP instruction that is not
# allowed; $2 says whether the guarded prologue saves are.
scan() {
  "$objdump" -d --no-show-raw-insn "$1" | awk -F'\t' -v fp="$fp" -v seam="$2" -v obj="$1" '
    /^[0-9a-f]+ <.*>:$/ { fn = $0; sub(/^[0-9a-f]+ /, "", fn); guarded = 0; next }
    NF >= 2 {
      split($2, w, " "); op = w[1]
      if (op == "bne" && w[2] ~ /^cr1,/) { guarded = 1; next }
      if (op ~ fp) {
        if (seam && guarded && op == "stfd" && w[2] ~ /^f[1-8],[0-9]+\(r1\)$/) next
        print obj ": " fn " " $2
      }
      guarded = 0
    }'
}

seam=0 count=0 found=""
for object in "$@"; do
  if [ "$object" = --seam ]; then seam=1; continue; fi
  [ -f "$object" ] || { echo "no such object: $object"; exit 1; }
  found+=$(scan "$object" "$seam")
  count=$((count + 1))
done
if [ -n "$found" ]; then
  echo "floating-point instructions in the board's code:"
  echo "$found"
  exit 1
fi
echo "no floating-point instructions in $count objects"
