// The colour rule written out plainly for the tests, apart from the program's own code: each
// channel's double expression as one line, std::trunc, then the clamp.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

struct ExpectedBgr {
  std::uint8_t blue, green, red;
};

inline std::uint8_t expectedByte(double value) {
  const double truncated = std::trunc(value);
  return static_cast<std::uint8_t>(std::min(255.0, std::max(0.0, truncated)));
}

inline ExpectedBgr expectedBgr(int y, int u, int v) {
  const double blue = 1.164 * (y - 16) + 1.567 * (u - 128);
  const double green = 1.164 * (y - 16) - 0.798 * (u - 128) - 0.384 * (v - 128);
  const double red = 1.164 * (y - 16) + 1.98 * (v - 128);
  return {expectedByte(blue), expectedByte(green), expectedByte(red)};
}
