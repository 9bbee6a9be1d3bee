// The still band at the top of every colour frame: four blocks of fixed luma/chroma. Their
// converted blue-green-red values are far apart and unclamped in every channel, so a picture
// of the band can be checked byte for byte against the conversion.
#pragma once

#include <cstdint>

namespace CamSdk {
namespace detail {

struct StillColor {
  std::uint8_t y, u, v;
};

constexpr int kStillBlockCount = 4;
// Left to right: red, green, blue, light grey once converted.
constexpr StillColor kStillColors[kStillBlockCount] = {
    {100, 110, 190},
    {140, 70, 80},
    {70, 180, 110},
    {190, 128, 128},
};
constexpr int kStillBandRows = 48;

// First column of block `block` in a picture `width` pixels wide; block kStillBlockCount gives
// the end. Boundaries fall on even columns so no pixel pair straddles two blocks.
constexpr int stillBlockStart(int width, int block) {
  return block >= kStillBlockCount ? width : block * ((width / kStillBlockCount) & ~1);
}

}  // namespace detail
}  // namespace CamSdk
