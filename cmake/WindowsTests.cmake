# The tests built for Windows (included by tests/CMakeLists.txt) and run under Wine: the SDK's,
# the colour conversion's (exhaustive included) and the viewer's unit tests. Left out: the
# recording tests (no recordings on Windows), the capture-device tests (Linux), the reliability
# sweeps (they run the same code as on Linux, for many minutes), and the end-to-end tests, which
# drive the Windows programs from tests/e2e/test_windows.py instead (scripts/build-windows.sh).
#
# The SDK tests call setenv, unsetenv and getpid, which the Windows C library names otherwise.
set(posix_names ${PROJECT_SOURCE_DIR}/tests/support/PosixNamesWindows.h)
foreach(dir support sdk camera present streams viewer)
  add_subdirectory(${CMAKE_CURRENT_SOURCE_DIR}/${dir} ${CMAKE_CURRENT_BINARY_DIR}/${dir})
endforeach()
target_compile_options(sdk_tests PRIVATE -include ${posix_names})
