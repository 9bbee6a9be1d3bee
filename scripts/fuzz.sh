#!/usr/bin/env bash
# Builds the libFuzzer programs with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs each for a while, one after another, on a working corpus seeded from fuzz/corpus.
# The repository corpus stays small: new inputs go to the working corpus in the build folder, and
# a finding is left there as a crash-* file to be copied into fuzz/corpus/<target>/ by hand.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default: 600 s, every target)
#
# Environment: DV_FUZZ_BUILD, the build folder (default build/fuzz at the top of the sources).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

seconds=${1:-600}
shift || true
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  targets=(sample_records scenario_text recording_reader)
fi
build=${DV_FUZZ_BUILD:-$repo_root/build/fuzz}

CC=clang CXX=clang++ configure_build "$build" -DDV_FUZZ=ON -DDV_SANITIZE=ON -DDV_BUILD_BENCH=OFF \
  >/dev/null
mkdir -p "$build/fuzz-work"
if ! build_targets "$build" "${targets[@]/#/fuzz-}" >"$build/fuzz-work/build.log" 2>&1; then
  tail -n 40 "$build/fuzz-work/build.log" >&2
  exit 2
fi

status=0
for target in "${targets[@]}"; do
  work="$build/fuzz-work/$target"
  mkdir -p "$work/corpus" "$work/findings"
  log="$work/fuzz.log"
  echo "== fuzz $target for ${seconds}s (log: $log)"
  # One job on one core: the machine is shared. Leak checks stay on (ASan's default).
  if ! "$build/tests/reliability/fuzz/fuzz-$target" -max_total_time="$seconds" -timeout=30 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/findings/" \
    "$work/corpus" "$repo_root/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "   FINDING: see $log and $work/findings/"
    status=1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" | sed 's/^/   /' || true
  echo "   working corpus: $(find "$work/corpus" -type f | wc -l) files," \
    "$(du -sk "$work/corpus" | cut -f1) KiB; repository corpus:" \
    "$(find "$repo_root/fuzz/corpus/$target" -type f | wc -l) files"
done
exit $status
