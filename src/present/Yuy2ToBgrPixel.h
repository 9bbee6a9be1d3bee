// The colour rule for one pixel, shared by the reference row and the tail of every SIMD row.
//
// The rule is exact: each product and each sum is one IEEE double operation in the order
// written, the result is truncated toward zero and then clamped to 0..255. The SIMD rows use
// the same constants and perform the same operations lane by lane, so every path gives the
// same bytes.
#pragma once

#include <cstdint>

namespace yuy2 {

constexpr double kLumaGain = 1.164;
constexpr double kBlueFromU = 1.567;
constexpr double kGreenFromU = 0.798;
constexpr double kGreenFromV = 0.384;
constexpr double kRedFromV = 1.98;
constexpr int kLumaOffset = 16;
constexpr int kChromaOffset = 128;

// Truncation toward zero first, then the clamp: -0.9 becomes 0 and 255.9 becomes 255.
inline std::uint8_t truncateAndClamp(double value) {
  int truncated = static_cast<int>(value);
  if (truncated < 0) truncated = 0;
  if (truncated > 255) truncated = 255;
  return static_cast<std::uint8_t>(truncated);
}

// Writes blue, green, red of the pixel with luma `y` and chroma `u`, `v` to bgr[0..2].
inline void convertPixel(int y, int u, int v, std::uint8_t* bgr) {
  const double luma = kLumaGain * static_cast<double>(y - kLumaOffset);
  const double uDiff = static_cast<double>(u - kChromaOffset);
  const double vDiff = static_cast<double>(v - kChromaOffset);
  bgr[0] = truncateAndClamp(luma + kBlueFromU * uDiff);
  bgr[1] = truncateAndClamp(luma - kGreenFromU * uDiff - kGreenFromV * vDiff);
  bgr[2] = truncateAndClamp(luma + kRedFromV * vDiff);
}

}  // namespace yuy2
