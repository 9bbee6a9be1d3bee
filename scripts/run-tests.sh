#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: once with warnings as
# errors, once more under AddressSanitizer and UndefinedBehaviorSanitizer. Exits non-zero on
# the first failure.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

run_suite() {
  local name=$1
  shift
  local dir="$repo_root/build/$name"
  echo "== $name: configure and build in $dir"
  configure_build "$dir" -DDV_WERROR=ON "$@"
  build_targets "$dir"
  echo "== $name: tests"
  (cd "$dir" && ctest --output-on-failure --no-tests=error --parallel "$build_jobs")
}

run_suite tests
# The benchmarks were built in the first pass; the sanitizer pass needs only the tests.
run_suite sanitize -DDV_SANITIZE=ON -DDV_BUILD_BENCH=OFF
echo "== all tests passed"
