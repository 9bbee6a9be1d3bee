#!/usr/bin/env bash
# The recording figures, each from one run on this machine:
#  1. the lossless colour codecs on the recorder's own encoding path (bench/colour_codecs): CPU
#     and bytes per 640 x 480 picture, flat (the simulated scene) and with sensor-like noise;
#  2. camsdk-record's CPU and megabytes per minute with each colour codec it offers, recording
#     the simulated camera's default streams (depth 320 x 240 and colour 640 x 480 at 25 fps,
#     mono 44.1 kHz audio): flat pictures from the live simulated camera, noisy ones (Gaussian,
#     sigma 2 levels) from a recording played by camsdk-service --play;
#  3. the round trip as a user makes it: the flat recording played by camsdk-service --play and
#     recorded again; samples per track in both files and whether every packet is the same;
#  4. playback pacing of a recording (looped) with the viewer's handlers, as
#     scripts/bench-pacing.sh measures the simulated camera, and how soon the first sample comes;
#  5. the time to open a one-hour recording and deliver its first sample.
# Not part of scripts/run-bench.sh, which stays quick. Needs about 2 GB free in the work folder.
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
  recording_open colour_codecs >/dev/null
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

echo "== 1. lossless colour codecs on the recorder's encoding path (50 pictures a set)"
"$programs/colour_codecs" 50

# start_service NAME [ARGS...]: a service of our own on its own endpoint, until stop_service.
start_service() {
  local name=$1
  shift
  export CAMSDK_ENDPOINT="ipc://$work/$name.sock"
  "$build_dir/sdk/camsdk-service" --no-v4l2 "$@" 2>"$work/$name.log" &
  service_pid=$!
  for _ in $(seq 100); do grep -q serving "$work/$name.log" 2>/dev/null && break; sleep 0.05; done
}
stop_service() {
  kill "$service_pid"
  wait "$service_pid" 2>/dev/null || true
  service_pid=
}

# record OUTPUT CODEC LABEL [ARGS...]: camsdk-record's CPU and output rate for one recording.
record() {
  local output=$1 codec=$2 label=$3
  shift 3
  /usr/bin/time -f "%U %S %e" -o "$work/record.time" "$build_dir/sdk/camsdk-record" "$output" \
    --colour "$codec" "$@" 2>"$work/record.log"
  read -r user system elapsed <"$work/record.time"
  awk -v l="$label" -v c="$codec" -v u="$user" -v s="$system" -v e="$elapsed" \
    -v b="$(stat -c %s "$output")" -v d="$(grep -o 'dropped [0-9]* (disk) [0-9]* (service)' "$work/record.log")" 'BEGIN {
    printf "%-6s %-8s CPU %5.2f s user + %5.2f s system over %5.2f s: %5.1f %% of one core; %6.0f MB a minute; %s\n",
      l, c, u, s, e, 100 * (u + s) / e, b / 1e6 / e * 60, d }'
}

echo "== 2. camsdk-record for ${record_seconds} s with each colour codec (25 + 25 fps with audio)"
"$programs/recording_fixture" "$work/noisy.mkv" --seconds 12 --noise 2
for codec in raw utvideo ffv1; do
  start_service camera
  record "$work/flat-$codec.mkv" "$codec" flat --seconds "$record_seconds"
  stop_service
  start_service noisy --play "$work/noisy.mkv" --loop
  record "$work/noisy-$codec.mkv" "$codec" noisy --seconds "$record_seconds"
  stop_service
  if [[ $codec != utvideo ]]; then rm -f "$work/flat-$codec.mkv"; fi
  rm -f "$work/noisy-$codec.mkv"
done
rm -f "$work/noisy.mkv"

echo "== 3. the flat Ut Video recording played by camsdk-service --play and recorded again"
start_service replay --play "$work/flat-utvideo.mkv"
"$build_dir/sdk/camsdk-record" "$work/again.mkv" 2>"$work/again.log"
stop_service
tail -n 1 "$work/again.log"
# packets FILE STREAM: each packet's size and MD5 (the payload, not the side data).
packets() { ffmpeg -v error -i "$1" -map "0:$2" -c copy -f framemd5 - | grep -v '^#' | cut -d, -f5,6; }
for stream in 0 1 2; do
  recorded=$(packets "$work/flat-utvideo.mkv" "$stream")
  played=$(packets "$work/again.mkv" "$stream")
  same=different
  [[ $recorded == "$played" ]] && same=identical
  echo "track $stream: $(wc -l <<<"$recorded") samples recorded, $(wc -l <<<"$played") recorded again; packets $same"
done
rm -f "$work/flat-utvideo.mkv" "$work/again.mkv"

echo "== 4. playback pacing over ${pacing_seconds} s (a 70 s recording at 25 fps, looped)"
"$programs/recording_fixture" "$work/minute.mkv" --seconds 70
"$programs/stream_pacing" --seconds "$pacing_seconds" --play "$work/minute.mkv" || true
rm -f "$work/minute.mkv"

echo "== 5. opening a one-hour recording (160 x 120 pictures, to keep it small)"
start=$(date +%s.%N)
"$programs/recording_fixture" "$work/hour.mkv" --seconds 3600 --small
echo "written in $(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.0f", e - s }') s: $(($(stat -c %s "$work/hour.mkv") / 1000000)) MB"
"$programs/recording_open" "$work/hour.mkv" 5
