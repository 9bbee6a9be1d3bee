#include "camsdk/FrameFormat.h"

namespace CamSdk {

namespace {
struct Resolution {
  std::int32_t width;
  std::int32_t height;
};

// Indexed by format code; entry 0 is the unknown format.
constexpr Resolution kResolutions[] = {
    {0, 0},     {160, 120}, {176, 144}, {240, 160},  {320, 240},  {352, 288},
    {480, 320}, {640, 480}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080},
};
constexpr std::int32_t kFormatCount =
    static_cast<std::int32_t>(sizeof(kResolutions) / sizeof(kResolutions[0]));
}  // namespace

void FrameFormat_toResolution(FrameFormat format, std::int32_t* width, std::int32_t* height) {
  const std::int32_t code = static_cast<std::int32_t>(format);
  const Resolution resolution =
      (code > 0 && code < kFormatCount) ? kResolutions[code] : Resolution{0, 0};
  if (width != nullptr) *width = resolution.width;
  if (height != nullptr) *height = resolution.height;
}

}  // namespace CamSdk
