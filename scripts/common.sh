# Shared by the scripts in this folder: where the sources are, and how a build is configured.
# Sourced, not run.

repo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_jobs=$(nproc 2>/dev/null || echo 2)

# configure_build DIR [cmake options...]: configures DIR from the sources, reusing an earlier
# configuration there.
configure_build() {
  local dir=$1
  shift
  cmake -S "$repo_root" -B "$dir" "$@"
}

# build_targets DIR [target...]: builds the named targets, or everything when none is named.
build_targets() {
  local dir=$1
  shift
  local targets=()
  local target
  for target in "$@"; do
    targets+=(--target "$target")
  done
  cmake --build "$dir" --parallel "$build_jobs" "${targets[@]}"
}

# build_bench_programs [target...]: installs what is missing, builds the targets optimised in
# build/bench (its path in bench_dir) and prints the processor and the load average, which go
# with any figure measured on this machine.
build_bench_programs() {
  "$repo_root/scripts/install-deps.sh"
  bench_dir="$repo_root/build/bench"
  configure_build "$bench_dir" -DCMAKE_BUILD_TYPE=Release -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=ON
  build_targets "$bench_dir" "$@"
  grep -m1 'model name' /proc/cpuinfo || true
  echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
}
