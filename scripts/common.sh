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

# The colour handler takes and gives back a 900 KB work buffer and an image of the same size for
# every frame. By default glibc maps blocks that large afresh and unmaps them at each free, so
# every frame faults in new pages (about 0.8 ms); these settings keep freed blocks in the heap.
# Exported for every script here, as each may run the viewer; the program reads no environment.
export GLIBC_TUNABLES="glibc.malloc.mmap_threshold=4194304:glibc.malloc.trim_threshold=16777216${GLIBC_TUNABLES:+:$GLIBC_TUNABLES}"
