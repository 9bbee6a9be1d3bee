#!/usr/bin/env bash
# What misbehaving clients cost the camera service and a viewer-like client beside it
# (bench/service/attack_figures.cpp): the service's uptime and resident size over repeated
# request floods, the time from a holder's SIGSTOP until its node is free (p50 and worst), and
# connection churn under load; for each, the well-behaved client's colour rate and largest gap
# between frames, next to its rate and gaps with no other client. Builds what it needs in
# build/bench; about 3 minutes with the defaults.
#
#   bash scripts/bench-service-attacks.sh [--floods N] [--stops M]    (50 and 20 by default)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_bench_programs attack_figures camsdk-service
exec "$bench_dir/bench/programs/attack_figures" "$bench_dir/sdk/camsdk-service" "$@"
