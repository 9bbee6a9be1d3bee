#!/usr/bin/env bash
# Measures how evenly the simulated camera service delivers on the real clock: the viewer's
# handlers (without a display) stream for 60 s and the rate and lag of the colour and depth
# samples are printed (target: 25 per second +/- 0.5 %, no drift). Exits 1 when a rate is
# outside the target. Not part of scripts/run-bench.sh, which stays quick.
#
#   bash scripts/bench-pacing.sh [--seconds N]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

build_dir="$repo_root/build/bench"
configure_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=ON
build_targets "$build_dir" stream_pacing

grep -m1 'model name' /proc/cpuinfo || true
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$build_dir/bench/programs/stream_pacing" "$@"
