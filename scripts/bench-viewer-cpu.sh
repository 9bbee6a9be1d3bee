#!/usr/bin/env bash
# Measures the viewer's CPU use while it streams colour and depth at 25 pictures a second on a
# virtual X server, next to a display-only baseline that shows prepared pictures at the same
# rates with the same display calls; prints both figures and their ratio (target: the viewer
# within 10 % of the baseline). Each program gets its own X server. Takes about 80 s.
#
#   bash scripts/bench-viewer-cpu.sh [--seconds 30] [--warmup 3]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

build_dir="$repo_root/build/bench"
configure_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=ON
build_targets "$build_dir" depth-viewer display_baseline

grep -m1 'model name' /proc/cpuinfo || true
echo "cores: $(nproc)"
exec python3 "$repo_root/bench/viewer_cpu.py" --viewer "$build_dir/src/depth-viewer" \
  --baseline "$build_dir/bench/programs/display_baseline" "$@"
