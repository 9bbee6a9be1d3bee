#!/usr/bin/env bash
# The camera service's figures over ZeroMQ on this machine (bench/service/service_bench.cpp),
# each with maps in shared memory and with maps in messages: sample latency from capture to
# handler and the service's CPU with 1, 4 and 16 client processes at 25 + 25 pictures a second
# with audio, next to the scheduler's own wake-up lateness; the highest 640 x 480 colour rate
# one client receives without drops, and the unpaced rate, next to a memcpy of the same
# bytes. Builds what it needs in build/bench; takes about 6 minutes. Extra arguments go to the
# benchmark program (for example --benchmark_filter=Latency or --benchmark_repetitions=3).
#
#   bash scripts/bench-service.sh [benchmark options]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

build_bench_programs service_bench
exec "$bench_dir/bench/programs/service_bench" "$@"
