#!/usr/bin/env bash
# Installs what is missing, builds the benchmarks optimised and runs each of them. Extra
# arguments go to every benchmark (for example --benchmark_filter=Color).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

build_dir="$repo_root/build/bench"
configure_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=ON
build_targets "$build_dir"

found=0
for bench in "$build_dir"/bench/*; do
  [[ -f $bench && -x $bench ]] || continue
  found=1
  echo "== $(basename "$bench")"
  "$bench" "$@"
done
if [[ $found -eq 0 ]]; then
  echo "run-bench: no benchmark was built in $build_dir/bench" >&2
  exit 1
fi
