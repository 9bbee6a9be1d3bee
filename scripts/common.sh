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
