#!/usr/bin/env bash
# The Windows part of the test command: cross-builds the Windows programs and tests
# (scripts/build-windows.sh), runs the tests under Wine, then the end-to-end test of the Windows
# programs on a virtual X server (tests/e2e/test_windows.py), which also pairs them with the
# Linux programs of LINUX_BUILD (build/tests by default; configured and built here if need be).
# Prints how long each step took; the end-to-end test's output is kept in
# build/windows/e2e-output.log. Exits 2 when a build fails, 1 when a test fails.
#
#   bash scripts/test-windows.sh [LINUX_BUILD]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

linux_dir=$(realpath -m "${1:-$repo_root/build/tests}")
windows_dir="$repo_root/build/windows"
step_start=$SECONDS
step_done() {
  echo "== windows: $1 took $((SECONDS - step_start))s"
  step_start=$SECONDS
}

bash "$repo_root/scripts/build-windows.sh" || exit 2
step_done "the cross build (libraries included)"
if [[ ! -f $linux_dir/CMakeCache.txt ]]; then
  configure_build "$linux_dir" || exit 2
fi
build_targets "$linux_dir" depth-viewer camsdk-service still-band-bgr || exit 2
step_done "the Linux programs for the mixed pairs"

status=0
rm -f "$windows_dir/Testing/Temporary/LastTestsFailed.log"  # what an earlier run left
(cd "$windows_dir" && ctest --output-on-failure --no-tests=error --parallel "$build_jobs") ||
  status=1
step_done "the tests under Wine"

DV_WINE_RUN="$repo_root/scripts/wine-run.sh" \
  DV_WINDOWS_VIEWER="$windows_dir/bin/depth-viewer.exe" \
  DV_WINDOWS_SERVICE="$windows_dir/bin/camsdk-service.exe" \
  DV_VIEWER="$linux_dir/src/depth-viewer" DV_SERVICE="$linux_dir/sdk/camsdk-service" \
  DV_STILL_BAND="$linux_dir/tests/e2e/still-band-bgr" \
  DV_E2E_ARTIFACTS="$windows_dir/screenshots" PYTHONDONTWRITEBYTECODE=1 \
  python3 "$repo_root/tests/e2e/test_windows.py" 2>&1 | tee "$windows_dir/e2e-output.log" ||
  status=1
step_done "the end-to-end test under Wine"
exit $status
