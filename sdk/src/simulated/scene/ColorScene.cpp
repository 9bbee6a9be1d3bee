// The colour scene is built from row templates: a handful of distinct rows are computed once
// per frame and every picture row is a memcpy of one of them, plus the moving box's span. This
// keeps a 640 x 480 frame well under a millisecond.
#include <algorithm>
#include <cstring>
#include <vector>

#include "scene/SceneGeometry.h"
#include "scene/Scenes.h"
#include "scene/StillBand.h"

namespace CamSdk {
namespace detail {
namespace {

constexpr int kStripeLevels = 8;
constexpr std::uint8_t kStripeLuma[kStripeLevels] = {40, 70, 100, 130, 160, 130, 100, 70};
constexpr std::uint8_t kBoxLuma = 235;
constexpr std::uint8_t kNeutralChroma = 128;

// Writes one packed row from per-pixel luma and per-pair chroma functions. Works for odd
// widths too: a last lone pixel keeps its Y and U bytes.
template <class Luma, class Chroma>
void writeRow(std::uint8_t* row, int width, Luma luma, Chroma chroma) {
  for (int x = 0; x < width; ++x) {
    const int pairStart = x & ~1;
    const StillColor c = chroma(pairStart);
    row[2 * x] = luma(x);
    row[2 * x + 1] = (x == pairStart) ? c.u : c.v;
  }
}

}  // namespace

void renderColorScene(FrameFormat format, std::int64_t sampleIndex, std::uint8_t* out,
                      std::size_t bytes) {
  const SceneSize size = sceneSize(format);
  const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 2;
  const std::size_t pictureBytes = rowBytes * static_cast<std::size_t>(size.height);
  if (bytes > pictureBytes) std::memset(out + pictureBytes, 0, bytes - pictureBytes);
  if (pictureBytes == 0 || bytes == 0) return;

  const int w = size.width;
  const int h = size.height;

  // Templates: the still band, then one row per stripe level.
  std::vector<std::uint8_t> templates(rowBytes * (1 + kStripeLevels));
  std::uint8_t* bandRow = templates.data();
  writeRow(
      bandRow, w,
      [&](int x) {
        int block = 0;
        while (block + 1 < kStillBlockCount && x >= stillBlockStart(w, block + 1)) ++block;
        return kStillColors[block].y;
      },
      [&](int x) {
        int block = 0;
        while (block + 1 < kStillBlockCount && x >= stillBlockStart(w, block + 1)) ++block;
        return kStillColors[block];
      });
  // Stripes carry a colour sweep across the picture: blue-ish on the left, red-ish on the right.
  const auto sweep = [w](int x) {
    const int t = w > 1 ? 128 * x / (w - 1) : 0;
    return StillColor{0, static_cast<std::uint8_t>(192 - t), static_cast<std::uint8_t>(64 + t)};
  };
  for (int level = 0; level < kStripeLevels; ++level) {
    std::uint8_t* row = templates.data() + rowBytes * static_cast<std::size_t>(1 + level);
    writeRow(
        row, w, [level](int) { return kStripeLuma[level]; }, sweep);
  }
  std::vector<std::uint8_t> boxSpan;

  const ColorGeometry g = colorGeometry(size, sampleIndex);
  boxSpan.resize(static_cast<std::size_t>(g.boxWidth) * 2);
  for (std::size_t i = 0; i < boxSpan.size(); ++i) {
    boxSpan[i] = (i % 2 == 0) ? kBoxLuma : kNeutralChroma;
  }

  for (int r = 0; r < h; ++r) {
    const std::size_t offset = rowBytes * static_cast<std::size_t>(r);
    if (offset >= bytes) break;
    const std::size_t room = std::min(rowBytes, bytes - offset);
    std::uint8_t* dst = out + offset;
    if (r < g.bandRows) {
      std::memcpy(dst, bandRow, room);
      continue;
    }
    const int level = (r + g.stripeScroll) % (g.stripeHeight * kStripeLevels) / g.stripeHeight;
    std::memcpy(dst, templates.data() + rowBytes * static_cast<std::size_t>(1 + level), room);
    if (r >= g.boxTop && r < g.boxTop + g.boxHeight) {
      const std::size_t from = static_cast<std::size_t>(g.boxLeft) * 2;
      if (from < room)
        std::memcpy(dst + from, boxSpan.data(), std::min(boxSpan.size(), room - from));
    }
  }
}

}  // namespace detail
}  // namespace CamSdk
