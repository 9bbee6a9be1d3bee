#!/usr/bin/env bash
# Builds the libraries the Windows programs need and Debian ships no MinGW build of: ZeroMQ
# (source package zeromq3), OpenCV's core, imgproc and highgui (source package opencv) and
# GoogleTest (from the googletest package's sources in /usr/src), all static, into one prefix in
# a cache outside the checkout. The prefix's name carries the source versions and a hash of the
# compiler, the toolchain file and the options below, so a change to any of them builds a
# new prefix and an unchanged one is reused at once. A prefix appears under its name only when
# complete (it is built elsewhere and renamed), so a build that stopped half way is never taken.
# Prints the prefix's path as the last line on standard output; the build's log goes to
# <cache>/<key>.log.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

cache_root=${DV_MINGW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/depth-viewer/mingw}
toolchain="$repo_root/cmake/x86_64-w64-mingw32.cmake"
jobs=${DV_MINGW_JOBS:-2}

# The version apt would fetch for a source package (the newest one its index lists).
source_version() {
  apt-cache showsrc --only-source "$1" 2>/dev/null | awk '/^Version:/ { print $2 }' | sort -V | tail -n 1
}
installed_version() { dpkg-query -W -f='${Version}' "$1"; }

# Without libsodium, CURVE (the service's keys) uses libzmq's own implementation. libbsd would be
# the build machine's Linux one. 0x0A00: the Windows 10 socket interfaces. No ipc:// transport:
# its Windows code builds only with Microsoft's compiler (it takes afunix.h for MSVC alone), and
# Wine has no AF_UNIX sockets for it anyway.
zmq_options=(
  -DBUILD_STATIC=ON -DBUILD_SHARED=OFF -DBUILD_TESTS=OFF -DWITH_DOCS=OFF -DWITH_LIBBSD=OFF
  -DWITH_LIBSODIUM=OFF -DENABLE_CURVE=ON -DENABLE_DRAFTS=OFF -DENABLE_PRECOMPILED=OFF
  -DZMQ_WIN32_WINNT=0x0A00 -DZMQ_HAVE_IPC=OFF
)
# Windows' own window interface; every optional component off. The Debian source ships no
# 3rdparty/ folder, so zlib is the MinGW one, given as its static library.
mingw_root=/usr/x86_64-w64-mingw32
opencv_options=(
  -DBUILD_LIST=core,imgproc,highgui -DWITH_WIN32UI=ON
  -DBUILD_ZLIB=OFF -DZLIB_LIBRARY="$mingw_root/lib/libz.a" -DZLIB_INCLUDE_DIR="$mingw_root/include"
  -DWITH_QT=OFF -DWITH_GTK=OFF -DWITH_IPP=OFF -DWITH_ITT=OFF -DWITH_OPENCL=OFF -DWITH_FFMPEG=OFF
  -DWITH_TBB=OFF -DWITH_OPENMP=OFF -DWITH_PTHREADS_PF=OFF -DWITH_EIGEN=OFF -DWITH_LAPACK=OFF
  -DWITH_PROTOBUF=OFF -DWITH_ADE=OFF -DWITH_VTK=OFF -DWITH_DSHOW=OFF -DWITH_MSMF=OFF
  -DWITH_DIRECTX=OFF -DWITH_OPENGL=OFF -DWITH_OPENVX=OFF -DWITH_IMGCODEC_HDR=OFF
  -DWITH_IMGCODEC_SUNRASTER=OFF -DWITH_IMGCODEC_PXM=OFF -DWITH_IMGCODEC_PFM=OFF -DWITH_JPEG=OFF
  -DWITH_PNG=OFF -DWITH_TIFF=OFF -DWITH_WEBP=OFF -DWITH_OPENJPEG=OFF -DWITH_JASPER=OFF
  -DWITH_OPENEXR=OFF -DWITH_GDAL=OFF -DWITH_GDCM=OFF -DWITH_QUIRC=OFF -DWITH_1394=OFF
  -DBUILD_TESTS=OFF -DBUILD_PERF_TESTS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF
  -DBUILD_opencv_apps=OFF -DBUILD_JAVA=OFF -DBUILD_opencv_python2=OFF -DBUILD_opencv_python3=OFF
  -DOPENCV_GENERATE_PKGCONFIG=OFF -DCV_TRACE=OFF -DOPENCV_ENABLE_NONFREE=OFF
)
gtest_options=(-Dgtest_disable_pthreads=OFF)

zmq_version=$(source_version zeromq3)
opencv_version=$(source_version opencv)
if [[ -z $zmq_version || -z $opencv_version ]]; then
  echo "build-windows-libs: apt knows no source of zeromq3 or opencv; run scripts/install-windows-deps.sh" >&2
  exit 1
fi
fingerprint=$( {
  x86_64-w64-mingw32-g++-posix --version | head -n 1
  installed_version libz-mingw-w64-dev; installed_version googletest; installed_version cppzmq-dev
  grep -v '^#' "$toolchain"
  printf '%s\n' "${zmq_options[@]}" -- "${opencv_options[@]}" -- "${gtest_options[@]}"
} | sha256sum | cut -c1-12)
key="zmq-${zmq_version}_opencv-${opencv_version}_${fingerprint}"
prefix="$cache_root/$key"

mkdir -p "$cache_root"
exec 9>"$cache_root/.lock"
flock 9  # another run building the same cache waits here, then finds the prefix ready
if [[ -d $prefix ]]; then
  echo "build-windows-libs: reusing $prefix" >&2
  echo "$prefix"
  exit 0
fi

work=$(mktemp -d "$cache_root/.building-$key.XXXXXX")
trap 'rm -rf "$work"' EXIT
log="$cache_root/$key.log"
echo "build-windows-libs: building $key (log: $log)" >&2
stage="$work/prefix"

run_logged() {
  if ! "$@" >>"$log" 2>&1; then
    echo "build-windows-libs: failed: $* (last lines of $log follow)" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
}

# configure_install NAME SOURCE [cmake options...]: a static Release build, installed into the stage.
configure_install() {
  local name=$1 source=$2
  shift 2
  echo "build-windows-libs: $name (after ${SECONDS}s)" >&2
  run_logged cmake -S "$source" -B "$work/build-$name" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$stage" -DBUILD_SHARED_LIBS=OFF "$@"
  run_logged nice -n 10 cmake --build "$work/build-$name" --parallel "$jobs"
  run_logged cmake --install "$work/build-$name"
}

: >"$log"
# apt-get source checks each file against the signed source index before dpkg-source unpacks it.
(cd "$work" && run_logged apt-get source --only-source "zeromq3=$zmq_version" "opencv=$opencv_version")

configure_install zeromq "$(echo "$work"/zeromq3-*/)" "${zmq_options[@]}"
configure_install opencv "$(echo "$work"/opencv-*/)" "${opencv_options[@]}"
configure_install googletest /usr/src/googletest "${gtest_options[@]}"

# cppzmq is a pair of headers over libzmq; the Windows build takes Debian's copy.
cp /usr/include/zmq.hpp /usr/include/zmq_addon.hpp "$stage/include/"

mv "$stage" "$prefix"
echo "build-windows-libs: built $prefix in ${SECONDS}s" >&2
echo "$prefix"
