#!/usr/bin/env bash
# Runs the real depth-viewer under valgrind's memcheck on a private virtual X server, lets it
# stream for a while, ends it with the key q as a user would, and checks the result: exit status
# 0, no memcheck error, and nothing definitely or indirectly lost. Leaks that lie wholly inside
# the display libraries are suppressed by tests/reliability/valgrind.supp, where each entry says
# why; anything lost from the program or the SDK is an error.
#
#   scripts/valgrind-run.sh [SECONDS_OF_STREAMING]        (default 20)
#
# Environment: DV_VALGRIND_BUILD, the build folder (default build/valgrind at the top of the
# sources; it must not be a sanitizer build). The full memcheck log and the viewer's output are
# left in that folder under valgrind-run/.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

streaming=${1:-20}
build=${DV_VALGRIND_BUILD:-$repo_root/build/valgrind}
suppressions="$repo_root/tests/reliability/valgrind.supp"
work="$build/valgrind-run"
window_wait=240  # seconds; under memcheck start-up is slow
exit_wait=240

for tool in valgrind Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "valgrind-run: $tool is missing; run scripts/install-deps.sh" >&2
    exit 2
  fi
done

configure_build "$build" -DDV_SANITIZE=OFF -DDV_BUILD_BENCH=OFF >/dev/null
build_targets "$build" depth-viewer >/dev/null
rm -rf "$work"
mkdir -p "$work"

xvfb_pid=""
viewer_pid=""
cleanup() {
  if [[ -n $viewer_pid ]] && kill -0 "$viewer_pid" 2>/dev/null; then kill "$viewer_pid"; fi
  if [[ -n $xvfb_pid ]] && kill -0 "$xvfb_pid" 2>/dev/null; then kill "$xvfb_pid"; fi
}
trap cleanup EXIT

# The server picks a free display number itself and writes it to the file.
Xvfb -displayfd 5 -screen 0 1600x1200x24 -nolisten tcp -noreset 5>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s $work/display ]] && break
  sleep 0.1
done
if [[ ! -s $work/display ]]; then
  echo "valgrind-run: Xvfb did not start (see $work/xvfb.log)" >&2
  exit 2
fi
export DISPLAY=":$(head -n1 "$work/display")"
unset CAMSDK_SCENARIO WAYLAND_DISPLAY

# The display library forks a helper without exec at start-up; its own report would only mix
# into the log, so children stay silent. Only definite and indirect losses count as errors.
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
  --errors-for-leak-kinds=definite,indirect --error-exitcode=99 --num-callers=40 \
  --child-silent-after-fork=yes --suppressions="$suppressions" --gen-suppressions=all \
  --log-file="$work/memcheck.log" \
  "$build/src/depth-viewer" >"$work/stdout.txt" 2>"$work/stderr.txt" &
viewer_pid=$!

window=""
for _ in $(seq $((window_wait * 2))); do
  window=$(xdotool search --onlyvisible --name '^Color Camera$' 2>/dev/null | head -n1 || true)
  [[ -n $window ]] && break
  if ! kill -0 "$viewer_pid" 2>/dev/null; then break; fi
  sleep 0.5
done
if [[ -z $window ]]; then
  echo "valgrind-run: the colour window never appeared (see $work/)" >&2
  exit 1
fi
echo "valgrind-run: colour window up on $DISPLAY; streaming for ${streaming}s"
sleep "$streaming"

# Under memcheck the viewer runs many times slower and a press may be read late; press again
# every few seconds until the viewer ends, and report how many it took.
xdotool windowfocus --sync "$window"
status=""
presses=0
for tick in $(seq $((exit_wait * 2))); do
  if ((tick % 6 == 1)); then
    xdotool key q
    presses=$((presses + 1))
  fi
  if ! kill -0 "$viewer_pid" 2>/dev/null; then
    set +e
    wait "$viewer_pid"
    status=$?
    set -e
    break
  fi
  sleep 0.5
done
viewer_pid_done=$viewer_pid
viewer_pid=""
if [[ -z $status ]]; then
  echo "valgrind-run: the viewer did not end after q" >&2
  kill "$viewer_pid_done" 2>/dev/null || true
  exit 1
fi

echo "valgrind-run: exit status $status after $presses press(es) of q; viewer output:"
sed 's/^/   /' "$work/stdout.txt"
echo "valgrind-run: memcheck summary ($work/memcheck.log):"
grep -E 'ERROR SUMMARY|definitely lost:|indirectly lost:|possibly lost:|still reachable:|suppressed:' \
  "$work/memcheck.log" | sed 's/^==[0-9]*== */   /'
if [[ $status -ne 0 ]]; then
  echo "valgrind-run: FAILED (status $status; 99 means memcheck found errors or lost blocks)" >&2
  exit 1
fi
echo "valgrind-run: passed"
