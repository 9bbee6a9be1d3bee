#!/usr/bin/env bash
# Installs what is missing, builds the viewer and the camera service and runs the viewer on the
# simulated camera. When no camera service answers on this machine's endpoint it starts one
# (and stops it when the viewer ends); a service already running is shared. Without a display
# it starts a virtual X server for the viewer and says how to look at it.
# CAMSDK_SCENARIO, when set, names a scenario file for a service this script starts
# (sdk/SCENARIO.md); CAMSDK_ENDPOINT, when set, names the endpoint (sdk/PROTOCOL.md).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-deps.sh"

build_dir="$repo_root/build/viewer"
configure_build "$build_dir" -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=OFF
build_targets "$build_dir" depth-viewer camsdk-service
viewer="$build_dir/src/depth-viewer"

# A service of our own, unless one already serves the endpoint (then ours exits at once,
# saying so, and the viewer shares that one).
service_log=$(mktemp)
"$build_dir/sdk/camsdk-service" 2>"$service_log" &
service_pid=$!
for _ in $(seq 100); do
  grep -q "serving" "$service_log" && break
  kill -0 "$service_pid" 2>/dev/null || break
  sleep 0.05
done
if ! kill -0 "$service_pid" 2>/dev/null; then
  service_pid=
  if ! grep -q "already served" "$service_log"; then
    cat "$service_log" >&2
    rm -f "$service_log"
    exit 1
  fi
  echo "run-viewer: sharing the camera service that is already running"
fi
rm -f "$service_log"
stop_service() {
  [[ -n $service_pid ]] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  service_pid=
}

if [[ -n ${DISPLAY:-} ]]; then
  trap stop_service EXIT
  trap 'exit 130' INT TERM
  echo "Press q in the \"Color Camera\" window to quit."
  status=0
  "$viewer" || status=$?
  exit "$status"
fi

# No display: a virtual X server, on the first free display number it finds for itself.
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$display_file" 2>/dev/null &
xvfb_pid=$!
viewer_pid=
cleanup() {
  [[ -n $viewer_pid ]] && kill "$viewer_pid" 2>/dev/null
  stop_service
  kill "$xvfb_pid" 2>/dev/null
  rm -f "$display_file"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for _ in $(seq 100); do
  [[ -s $display_file ]] && break
  sleep 0.1
done
if [[ ! -s $display_file ]]; then
  echo "run-viewer: the virtual X server did not start" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$display_file")"

cat <<INFO
No display found: the viewer runs on the virtual X server $DISPLAY.
  Picture of the whole screen:  DISPLAY=$DISPLAY import -window root screen.png
  Quit with the key q:          DISPLAY=$DISPLAY xdotool search --name '^Color Camera\$' windowfocus --sync key q
  Or press Ctrl-C here.
INFO
"$viewer" &
viewer_pid=$!
# No window manager places the windows: both open at the top-left corner. Put the depth window
# below the colour window once it appears (the search ends with the X server at the latest).
xdotool search --sync --onlyvisible --name '^Depth Camera$' windowmove 0 640 >/dev/null 2>&1 &
status=0
wait "$viewer_pid" || status=$?
viewer_pid=
exit "$status"
