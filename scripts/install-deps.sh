#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing depth-viewer need, and only
# those that are missing, so a second run does nothing and needs no network.
set -euo pipefail

packages=(
  # Build tools.
  build-essential cmake g++ pkg-config git
  # Tests and benchmarks.
  libgtest-dev libgmock-dev libbenchmark-dev
  # The camera service's transport.
  libzmq3-dev cppzmq-dev
  # Recordings (Matroska through FFmpeg's libraries; ffprobe and ffmpeg judge them in tests).
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  # Real cameras: hot-plug through udev, v4l2-ctl for the manual check.
  libudev-dev v4l-utils
  # Display and image libraries; Xlib for the viewer's check that a display can be opened.
  libopencv-core-dev libopencv-highgui-dev libopencv-imgproc-dev libyuv-dev libx11-dev
  # find_package(OpenCV) needs OpenCVConfig.cmake, which only the full development package ships.
  libopencv-dev
  # Virtual X server and the tools the end-to-end tests drive the windows with.
  xvfb xauth xdotool imagemagick x11-utils python3
  # A real window manager, so the end-to-end tests also see title bars and close buttons.
  openbox
  # Fuzzing and the sanitizer runtime of the second compiler.
  clang libclang-rt-14-dev
  # Memory checking of a real run (scripts/valgrind-run.sh).
  valgrind
  # systemd-analyze, which checks the camera service's systemd unit in the tests.
  systemd
  # The colour conversion built for 64-bit ARM and tested under user-mode emulation.
  g++-aarch64-linux-gnu qemu-user
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$package")
  fi
done

if [[ ${#missing[@]} -eq 0 ]]; then
  echo "install-deps: all ${#packages[@]} packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "install-deps: missing packages and not root; run as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y "${missing[@]}"
