#!/usr/bin/env bash
# Fails when any object of the given static library contains a fused multiply-add: the colour
# rule rounds every product on its own, so no instruction of that family may appear.
set -euo pipefail
library=$1
disassembly=$(objdump -d --no-show-raw-insn "$library")
# Sanity: the disassembly really holds the 512-bit double kernels we mean to inspect.
if ! grep -qE '\bvmulpd\b.*zmm' <<<"$disassembly"; then
  echo "no 512-bit double multiply found in $library; wrong library?" >&2
  exit 1
fi
found=$(grep -E '\bv?f(n)?m(add|sub)[0-9a-z]*(ps|pd|ss|sd)\b' <<<"$disassembly" || true)
if [[ -n $found ]]; then
  echo "fused multiply-add instructions in $library:" >&2
  head -20 <<<"$found" >&2
  exit 1
fi
echo "no fused multiply-add in $library"
