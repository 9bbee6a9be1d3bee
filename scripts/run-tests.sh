#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once with warnings as
# errors, once more under AddressSanitizer and UndefinedBehaviorSanitizer; in between, the colour
# conversion's tests built for 64-bit ARM run under user-mode emulation, and the Windows build
# (scripts/test-windows.sh) with its tests and end-to-end test under Wine. Last, every fuzz target
# runs for a short fixed time (DV_FUZZ_SECONDS, 30 s by default). A build that fails stops the
# run; failing tests of one pass do not keep the next from running, so one run shows
# everything. Exits non-zero if anything failed.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

failed=()
run_suite() {
  local name=$1
  shift
  local dir="$repo_root/build/$name"
  echo "== $name: configure and build in $dir"
  configure_build "$dir" -DDV_WERROR=ON "$@"
  build_targets "$dir"
  echo "== $name: tests (built after ${SECONDS}s)"
  rm -f "$dir/Testing/Temporary/LastTestsFailed.log"  # what an earlier run left
  if ! (cd "$dir" && ctest --output-on-failure --no-tests=error --parallel "$build_jobs"); then
    failed+=("$name")
  fi
  echo "== $name: done after ${SECONDS}s"
}

# The conversion alone, built for 64-bit ARM and tested under user-mode emulation: the
# exhaustive test proves the NEON row exact there.
run_arm_suite() {
  local dir="$repo_root/build/aarch64"
  echo "== aarch64: configure and build in $dir"
  cmake -S "$repo_root/tests/present/cross" -B "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/aarch64-linux-gnu.cmake"
  build_targets "$dir" yuy2_conversion_test
  echo "== aarch64: tests under emulation (built after ${SECONDS}s)"
  if ! (cd "$dir" && ctest --output-on-failure --no-tests=error); then
    failed+=(aarch64)
  fi
  echo "== aarch64: done after ${SECONDS}s"
}

# The Windows programs and tests, cross-built and run under Wine; the end-to-end test pairs them
# with the programs of the first pass.
run_windows_suite() {
  echo "== windows: build, tests and end-to-end test under Wine"
  local status=0
  bash "$repo_root/scripts/test-windows.sh" "$repo_root/build/tests" || status=$?
  if [[ $status -eq 2 ]]; then
    exit 2  # a build failed
  elif [[ $status -ne 0 ]]; then
    failed+=(windows)
  fi
  echo "== windows: done after ${SECONDS}s"
}

run_suite tests
run_arm_suite
run_windows_suite
# The benchmarks were built in the first pass; the sanitizer pass needs only the tests.
run_suite sanitize -DDV_SANITIZE=ON -DDV_BUILD_BENCH=OFF

# A short fuzz of every target in fuzz/, so that a target that goes red fails the run; a finding
# is left in build/fuzz/fuzz-work/<target>/findings.
echo "== fuzz: every target for ${DV_FUZZ_SECONDS:-30}s"
fuzz_status=0
bash "$repo_root/scripts/fuzz.sh" "${DV_FUZZ_SECONDS:-30}" || fuzz_status=$?
if [[ $fuzz_status -eq 2 ]]; then
  exit 2  # the fuzz build failed
elif [[ $fuzz_status -ne 0 ]]; then
  failed+=(fuzz)
fi
echo "== fuzz: done after ${SECONDS}s"

# What failed, again at the end, where a log cut to its last lines still shows it: the failed
# tests of each pass, and the failures the Windows end-to-end test reported.
print_failures() {
  local name list
  for name in "${failed[@]}"; do
    list="$repo_root/build/$name/Testing/Temporary/LastTestsFailed.log"
    if [[ -s $list ]]; then
      echo "== $name: failed tests"
      sed 's/^/   /' "$list"
    fi
    if [[ $name == windows && -f $repo_root/build/windows/e2e-output.log ]]; then
      echo "== windows: end-to-end failures (build/windows/e2e-output.log)"
      sed -n '/^======/,/^Ran /p' "$repo_root/build/windows/e2e-output.log" | head -n 120
    fi
  done
}

if [[ ${#failed[@]} -gt 0 ]]; then
  print_failures >&2
  echo "== tests FAILED in: ${failed[*]}" >&2
  exit 1
fi
echo "== all tests passed"
