// Picture sizes that depth and colour nodes stream at, by code. The codes are stable: they
// are written into node configurations as plain numbers.
#pragma once

#include <cstdint>

namespace CamSdk {

enum FrameFormat : std::int32_t {
  FRAME_FORMAT_UNKNOWN = 0,
  FRAME_FORMAT_QQVGA = 1,     // 160 x 120
  FRAME_FORMAT_QCIF = 2,      // 176 x 144
  FRAME_FORMAT_HQVGA = 3,     // 240 x 160
  FRAME_FORMAT_QVGA = 4,      // 320 x 240
  FRAME_FORMAT_CIF = 5,       // 352 x 288
  FRAME_FORMAT_HVGA = 6,      // 480 x 320
  FRAME_FORMAT_VGA = 7,       // 640 x 480
  FRAME_FORMAT_SVGA = 8,      // 800 x 600
  FRAME_FORMAT_XGA = 9,       // 1024 x 768
  FRAME_FORMAT_HD = 10,       // 1280 x 720
  FRAME_FORMAT_FULL_HD = 11,  // 1920 x 1080
};

// Width and height in pixels of `format`; 0 x 0 for a code it does not know.
void FrameFormat_toResolution(FrameFormat format, std::int32_t* width, std::int32_t* height);

}  // namespace CamSdk
