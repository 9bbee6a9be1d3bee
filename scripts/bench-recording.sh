#!/usr/bin/env bash
# The recording figures, each from one run on this machine:
#  1. camsdk-record's CPU and megabytes per minute while it records the simulated camera's
#     default streams (depth 320 x 240 and colour 640 x 480 at 25 fps, mono 44.1 kHz audio);
#  2. colour stored raw against FFV1 (lossless) on the colour just recorded: CPU per frame and
#     size, to show which costs less;
#  3. playback pacing of a recording (looped) with the viewer's handlers, as scripts/bench-pacing.sh
#     measures the simulated camera;
#  4. the time to open a one-hour recording and deliver its first sample.
# Not part of scripts/run-bench.sh, which stays quick. Needs about 4 GB free in the work folder.
#
#   bash scripts/bench-recording.sh [RECORD_SECONDS] [PACING_SECONDS]    (30 and 60 by default)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

record_seconds=${1:-30}
pacing_seconds=${2:-60}

"$repo_root/scripts/install-deps.sh" >/dev/null

build_dir="$repo_root/build/bench"
configure_build "$build_dir" -DCMAKE_BUILD_TYPE=Release -DDV_BUILD_TESTS=OFF -DDV_BUILD_BENCH=ON \
  >/dev/null
build_targets "$build_dir" camsdk-service camsdk-record stream_pacing recording_fixture \
  recording_open >/dev/null
programs="$build_dir/bench/programs"

work=$(mktemp -d "${TMPDIR:-/tmp}/camsdk-bench-recording.XXXXXX")
service_pid=
cleanup() {
  if [[ -n $service_pid ]]; then kill "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

grep -m1 'model name' /proc/cpuinfo || true
echo "cores: $(nproc); load average: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== 1. recording ${record_seconds} s of the simulated camera (25 + 25 fps with audio)"
export CAMSDK_ENDPOINT="ipc://$work/service.sock"
"$build_dir/sdk/camsdk-service" 2>"$work/service.log" &
service_pid=$!
for _ in $(seq 100); do grep -q serving "$work/service.log" 2>/dev/null && break; sleep 0.05; done
/usr/bin/time -f "%U %S %e" -o "$work/record.time" \
  "$build_dir/sdk/camsdk-record" "$work/recorded.mkv" --seconds "$record_seconds" 2>"$work/record.log"
kill "$service_pid"
wait "$service_pid" 2>/dev/null || true
service_pid=
tail -n 1 "$work/record.log"
read -r user system elapsed <"$work/record.time"
bytes=$(stat -c %s "$work/recorded.mkv")
awk -v u="$user" -v s="$system" -v e="$elapsed" -v b="$bytes" 'BEGIN {
  printf "recorder CPU %.2f s user + %.2f s system over %.2f s: %.1f %% of one core\n", u, s, e, 100 * (u + s) / e
  printf "file %.1f MB: %.0f MB per minute\n", b / 1e6, b / 1e6 / e * 60 }'

echo "== 2. colour raw against FFV1 (lossless), on the recorded colour and on it with sensor-like noise"
ffmpeg -v error -y -i "$work/recorded.mkv" -map 0:1 -c copy -f rawvideo "$work/colour.yuyv"
# The simulated scene is flat colour that any coder squeezes; a camera's pictures carry noise.
ffmpeg -v error -y -f rawvideo -pix_fmt yuyv422 -s 640x480 -i "$work/colour.yuyv" \
  -vf noise=alls=6:allf=t -pix_fmt yuyv422 -f rawvideo "$work/noisy.yuyv"
compare_colour() {
  local input=$1 label=$2
  local frames=$(($(stat -c %s "$input") / (640 * 480 * 2)))
  /usr/bin/time -f "%U %S" -o "$work/ffv1.time" ffmpeg -v error -y -threads 1 -f rawvideo \
    -pix_fmt yuyv422 -s 640x480 -i "$input" -c:v ffv1 -threads 1 -pix_fmt yuv422p \
    -f matroska "$work/colour-ffv1.mkv"
  /usr/bin/time -f "%U %S" -o "$work/raw.time" ffmpeg -v error -y -threads 1 -f rawvideo \
    -pix_fmt yuyv422 -s 640x480 -i "$input" -c:v rawvideo -f matroska "$work/colour-raw.mkv"
  read -r fu fs <"$work/ffv1.time"
  read -r ru rs <"$work/raw.time"
  awk -v l="$label" -v f="$frames" -v fu="$fu" -v fs="$fs" -v ru="$ru" -v rs="$rs" \
    -v fb="$(stat -c %s "$work/colour-ffv1.mkv")" -v rb="$(stat -c %s "$work/colour-raw.mkv")" 'BEGIN {
    printf "%s, %d frames through ffmpeg: raw %.2f ms CPU and %.0f KB a frame; FFV1 %.2f ms and %.0f KB (%.3f of raw)\n",
      l, f, 1000 * (ru + rs) / f, rb / f / 1024, 1000 * (fu + fs) / f, fb / f / 1024, fb / rb
    printf "  at 25 fps FFV1 costs %.1f %% of one core more than raw and saves %.0f MB a minute\n",
      100 * 25 * ((fu + fs) - (ru + rs)) / f, (rb - fb) / f * 25 * 60 / 1e6 }'
}
compare_colour "$work/colour.yuyv" "simulated scene"
compare_colour "$work/noisy.yuyv" "with noise"
rm -f "$work/colour.yuyv" "$work/noisy.yuyv" "$work/colour-ffv1.mkv" "$work/colour-raw.mkv"

echo "== 3. playback pacing over ${pacing_seconds} s (a 70 s recording at 25 fps, looped)"
"$programs/recording_fixture" "$work/minute.mkv" --seconds 70
"$programs/stream_pacing" --seconds "$pacing_seconds" --play "$work/minute.mkv" || true
rm -f "$work/minute.mkv"

echo "== 4. opening a one-hour recording (160 x 120 pictures, to keep it to about 3.6 GB)"
start=$(date +%s.%N)
"$programs/recording_fixture" "$work/hour.mkv" --seconds 3600 --small
echo "written in $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.0f", e - s }') s: $(($(stat -c %s "$work/hour.mkv") / 1000000)) MB"
"$programs/recording_open" "$work/hour.mkv" 5
