# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler, posix thread model (std::thread
# and std::mutex need it). Programs link the C and C++ runtimes statically, so each .exe runs on
# its own. What it builds runs under Wine on this machine (scripts/build-windows.sh sets the
# emulator for ctest).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
# Prefixes with MinGW libraries built here (OpenCV, ZeroMQ) are added through CMAKE_PREFIX_PATH;
# they are searched as roots like the compiler's own.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${DV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
