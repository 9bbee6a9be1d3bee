#!/usr/bin/env bash
# Fails when any object of the given static library contains a fused multiply-add: the colour
# rule rounds every product on its own, so no instruction of that family may appear.
#
#   check-no-fused-multiply-add.sh LIBRARY [x86_64|aarch64]   (x86_64 by default)
set -euo pipefail
library=$1
arch=${2:-x86_64}
case $arch in
  x86_64)
    objdump=objdump
    # Sanity: the disassembly really holds the 512-bit double kernels we mean to inspect.
    kernels='\bvmulpd\b.*zmm'
    fused='\bv?f(n)?m(add|sub)[0-9a-z]*(ps|pd|ss|sd)\b'
    ;;
  aarch64)
    objdump=aarch64-linux-gnu-objdump
    # Sanity: the NEON row's two-lane double multiplies.
    kernels='\bfmul\s+v[0-9]+\.2d'
    fused='\bf(n)?m(add|sub|la|ls)\b'
    ;;
  *)
    echo "unknown processor family: $arch" >&2
    exit 2
    ;;
esac
disassembly=$("$objdump" -d --no-show-raw-insn "$library")
if ! grep -qE "$kernels" <<<"$disassembly"; then
  echo "no double-precision kernel multiply found in $library; wrong library?" >&2
  exit 1
fi
found=$(grep -E "$fused" <<<"$disassembly" || true)
if [[ -n $found ]]; then
  echo "fused multiply-add instructions in $library:" >&2
  head -20 <<<"$found" >&2
  exit 1
fi
echo "no fused multiply-add in $library"
