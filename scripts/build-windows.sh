#!/usr/bin/env bash
# Cross-builds depth-viewer, the camera service and the Windows tests for 64-bit Windows into
# build/windows/ (depth-viewer.exe and camsdk-service.exe in build/windows/bin/), each linked
# statically so that it runs alone. Installs what is missing and builds the libraries Debian
# has no MinGW build of, once per machine (scripts/build-windows-libs.sh). The tests run under
# Wine through scripts/wine-run.sh: `ctest --test-dir build/windows`.
#
#   bash scripts/build-windows.sh [TARGET...]   (every target when none is named)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

"$repo_root/scripts/install-windows-deps.sh"
prefix=$("$repo_root/scripts/build-windows-libs.sh" | tail -n 1)
opencv_config=$(find "$prefix" -name OpenCVConfig.cmake -print -quit)

launchers=()
if command -v ccache >/dev/null; then
  launchers=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
windows_dir="$repo_root/build/windows"
configure_build "$windows_dir" -DCMAKE_TOOLCHAIN_FILE="$repo_root/cmake/x86_64-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDV_MINGW_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
  -DOpenCV_DIR="$(dirname "$opencv_config")" -DDV_BUILD_BENCH=OFF -DDV_WERROR=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$repo_root/scripts/wine-run.sh" \
  -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$windows_dir/bin" "${launchers[@]}"
build_targets "$windows_dir" "$@"
