// Prints the still band of the simulated colour scene as the viewer must show it: the band's
// height, then one line per block with its columns and blue, green, red bytes. The end-to-end
// tests search screenshots for these values, so the band is read from the SDK stand-in rather
// than copied, and the conversion is worked out here on its own, independent of the viewer.
#include <cmath>
#include <cstdio>

#include "camsdk/testing/Scenario.h"

namespace {

int toByte(double value) {
  const double truncated = std::trunc(value);
  if (truncated < 0) return 0;
  if (truncated > 255) return 255;
  return static_cast<int>(truncated);
}

}  // namespace

int main() {
  using CamSdk::testing::Scenario;
  std::printf("rows %d\n", Scenario::stillBandRows());
  for (const Scenario::StillBlock& block : Scenario::stillBand()) {
    const double y = block.y - 16;
    const double u = block.u - 128;
    const double v = block.v - 128;
    const int blue = toByte(1.164 * y + 1.567 * u);
    const int green = toByte(1.164 * y - 0.798 * u - 0.384 * v);
    const int red = toByte(1.164 * y + 1.98 * v);
    std::printf("block %d %d %d %d %d\n", block.firstColumn, block.lastColumn, blue, green, red);
  }
  return 0;
}
