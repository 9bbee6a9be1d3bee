#!/usr/bin/env bash
# Fails when any object of the given static library contains a fused multiply-add: the colour
# rule rounds every product on its own, so no instruction of that family may appear.
set -euo pipefail
library=$1
found=$(objdump -d --no-show-raw-insn "$library" | grep -E '\bv?f(n)?m(add|sub)[0-9a-z]*(ps|pd|ss|sd)\b' || true)
if [[ -n $found ]]; then
  echo "fused multiply-add instructions in $library:" >&2
  echo "$found" | head -20 >&2
  exit 1
fi
# Sanity: the disassembly really holds the double-precision kernels we mean to inspect.
objdump -d --no-show-raw-insn "$library" | grep -qE '\bvmulpd\b.*zmm' || {
  echo "no 512-bit double multiply found in $library; wrong library?" >&2
  exit 1
}
echo "no fused multiply-add in $library"
