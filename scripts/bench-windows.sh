#!/usr/bin/env bash
# Figures of the Windows build against the Linux one, each pair measured in one run:
#
#   bash scripts/bench-windows.sh conversion [RUNS] [ROUNDS] [FRAMES_PER_ROUND]   (3, 5, 1000)
#       The colour conversion alone (tests/present/cross, kernel_ratio), built with the same
#       GCC for Linux and for Windows, run RUNS times each (3), alternating, under Wine and
#       natively: each row's CPU time per 640 x 480 frame and the Wine / Linux ratio, from the
#       medians. Pure computation: Wine should cost nothing measurable. Wine counts a process's
#       CPU time in 10 ms steps, hence the many frames per round.
#   bash scripts/bench-windows.sh viewer [--seconds 30] [--warmup 5] [--rounds 1]
#       The viewer's CPU at 25 + 25 pictures a second, the Windows one with the Windows service
#       under Wine against the Linux one with the Linux service (bench/windows_viewer_cpu.py).
#
# Prints the processor and the load average with the figures.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

what=${1:-}
shift || true
grep -m1 'model name' /proc/cpuinfo || true

case $what in
  conversion)
    runs=${1:-3}
    rounds=${2:-5}
    frames=${3:-1000}
    "$repo_root/scripts/install-deps.sh"
    "$repo_root/scripts/install-windows-deps.sh"
    linux_dir="$repo_root/build/conversion-linux"
    windows_dir="$repo_root/build/conversion-windows"
    cmake -S "$repo_root/tests/present/cross" -B "$linux_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake -S "$repo_root/tests/present/cross" -B "$windows_dir" -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/x86_64-w64-mingw32.cmake" >/dev/null
    build_targets "$linux_dir" kernel_ratio >/dev/null
    build_targets "$windows_dir" kernel_ratio >/dev/null
    echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
    for ((run = 0; run < runs; ++run)); do
      "$linux_dir/kernel_ratio" "$rounds" "$frames" >"$out/linux-$run"
      "$repo_root/scripts/wine-run.sh" "$windows_dir/kernel_ratio.exe" "$rounds" "$frames" |
        tr -d '\r' >"$out/wine-$run"
    done
    echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "$runs runs each of $rounds rounds x $frames frames; median CPU ms per frame over the runs"
    python3 - "$out" "$runs" <<'PY'
import statistics, sys
out, runs = sys.argv[1], int(sys.argv[2])
def table(platform):
    rows = {}
    for run in range(runs):
        for line in open(f"{out}/{platform}-{run}"):
            parts = line.split()
            if len(parts) == 3 and parts[0] != "kernel":
                rows.setdefault(parts[0], []).append(float(parts[1]))
    return {k: statistics.median(v) for k, v in rows.items()}
linux, wine = table("linux"), table("wine")
print(f"{'row':<12} {'Linux ms':>9} {'Wine ms':>9} {'Wine / Linux':>13}")
for row in linux:
    if row in wine:
        print(f"{row:<12} {linux[row]:>9.3f} {wine[row]:>9.3f} {wine[row] / linux[row]:>13.3f}")
PY
    ;;
  viewer)
    # Both built alike: RelWithDebInfo (-O2), the Windows build's type.
    linux_dir="$repo_root/build/linux-compare"
    "$repo_root/scripts/install-deps.sh"
    configure_build "$linux_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDV_BUILD_TESTS=OFF \
      -DDV_BUILD_BENCH=OFF >/dev/null
    build_targets "$linux_dir" depth-viewer camsdk-service >/dev/null
    bash "$repo_root/scripts/build-windows.sh" depth-viewer camsdk-service >/dev/null
    echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"
    export DV_WINEPREFIX=${DV_WINEPREFIX:-$repo_root/build/windows/wine-prefix}
    exec python3 "$repo_root/bench/windows_viewer_cpu.py" --viewer "$linux_dir/src/depth-viewer" \
      --service "$linux_dir/sdk/camsdk-service" \
      --windows-viewer "$repo_root/build/windows/bin/depth-viewer.exe" \
      --windows-service "$repo_root/build/windows/bin/camsdk-service.exe" \
      --wine-run "$repo_root/scripts/wine-run.sh" "$@"
    ;;
  *)
    echo "usage: bench-windows.sh conversion [RUNS] [ROUNDS] [FRAMES_PER_ROUND]" >&2
    echo "       bench-windows.sh viewer [--seconds 30] [--warmup 5] [--rounds 1]" >&2
    exit 2
    ;;
esac
