#!/usr/bin/env bash
# Builds the colour conversion for 64-bit ARM and prints, under user-mode emulation, each row's
# CPU time per frame and its ratio to the reference row, measured in one run. Emulation changes
# the absolute times beyond recognition; only the ratio says something.
#
#   bash scripts/bench-arm-emulated.sh [ROUNDS] [FRAMES_PER_ROUND]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

build_dir="$repo_root/build/aarch64"
cmake -S "$repo_root/tests/present/cross" -B "$build_dir" \
  -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/aarch64-linux-gnu.cmake"
build_targets "$build_dir" kernel_ratio

grep -m1 'model name' /proc/cpuinfo || true
echo "emulator: $(qemu-aarch64 --version | head -1)"
exec qemu-aarch64 -L /usr/aarch64-linux-gnu "$build_dir/kernel_ratio" "$@"
