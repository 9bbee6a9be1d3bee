#!/usr/bin/env bash
# Measures how evenly the simulated camera service delivers on the real clock: the viewer's
# handlers (without a display) stream for 60 s and the rate and lag of the colour and depth
# samples are printed (target: 25 per second +/- 0.5 %, no drift). Exits 1 when a rate is
# outside the target. Not part of scripts/run-bench.sh, which stays quick.
#
#   bash scripts/bench-pacing.sh [--seconds N]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_bench_programs stream_pacing
"$bench_dir/bench/programs/stream_pacing" "$@"
