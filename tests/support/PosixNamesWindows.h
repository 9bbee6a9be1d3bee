// The POSIX names the tests use for the environment, with the Windows C library's functions
// behind them. Included ahead of each test source of the Windows build.
#pragma once

#include <stdlib.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value);
}

// An empty value removes the variable on Windows.
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
