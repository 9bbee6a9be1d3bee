#!/usr/bin/env bash
# Measures, in one run, the CPU use while colour and depth stream at 25 pictures a second on a
# virtual X server of: the viewer with camsdk-service as a process of its own (on a private ipc
# endpoint, stopped by its process id afterwards), with maps in shared memory and again with
# maps copied into messages; the viewer with the simulated service in its own process as it ran
# before; and a display-only baseline that shows prepared pictures at the same rates with the
# same display calls. Prints the figures and the ratios (targets: service plus viewer at most
# 1.10 times the in-process viewer; the viewer alone within 10 % of the baseline). Each program
# gets its own X server. Takes about 2.5 minutes a round.
#
#   bash scripts/bench-viewer-cpu.sh [--seconds 30] [--warmup 3] [--rounds 1]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_bench_programs depth-viewer camsdk-service inprocess_viewer display_baseline
exec python3 "$repo_root/bench/viewer_cpu.py" --viewer "$bench_dir/src/depth-viewer" \
  --service "$bench_dir/sdk/camsdk-service" --inprocess "$bench_dir/bench/programs/inprocess_viewer" \
  --baseline "$bench_dir/bench/programs/display_baseline" "$@"
