// The depth scene, one row at a time: fill the row's background, then the objects' spans, then
// the spans without data. Spans are plain fills, so a frame costs little more than a memset.
#include <algorithm>
#include <cstring>
#include <vector>

#include "scene/SceneGeometry.h"
#include "scene/Scenes.h"

namespace CamSdk {
namespace detail {
namespace {

void fillSpan(std::vector<short>& row, int from, int to, short value) {
  from = std::max(from, 0);
  to = std::min(to, static_cast<int>(row.size()));
  if (from < to) std::fill(row.begin() + from, row.begin() + to, value);
}

short backgroundDepth(const DepthGeometry& g, int r, int h) {
  if (r < g.floorTop || h - g.floorTop <= 0) return kWallDepth;
  const int span = kWallDepth - kFloorNearDepth;
  return static_cast<short>(kWallDepth - span * (r - g.floorTop + 1) / (h - g.floorTop));
}

void fillRectSpan(std::vector<short>& row, const Rect& rect, int r, short value) {
  if (r >= rect.top && r < rect.bottom) fillSpan(row, rect.left, rect.right, value);
}

}  // namespace

void renderDepthScene(FrameFormat format, std::int64_t sampleIndex, short* out, std::size_t count) {
  const SceneSize size = sceneSize(format);
  const std::size_t rowCount = static_cast<std::size_t>(size.width);
  const std::size_t pictureCount = rowCount * static_cast<std::size_t>(size.height);
  if (count > pictureCount) std::fill(out + pictureCount, out + count, short{0});
  if (pictureCount == 0 || count == 0) return;

  const int w = size.width;
  const int h = size.height;
  const DepthGeometry g = depthGeometry(size, sampleIndex);
  std::vector<short> row(rowCount);
  for (int r = 0; r < h; ++r) {
    const std::size_t offset = rowCount * static_cast<std::size_t>(r);
    if (offset >= count) break;
    if (r < g.border || r >= h - g.border) {
      std::fill(row.begin(), row.end(), short{0});
    } else {
      std::fill(row.begin(), row.end(), backgroundDepth(g, r, h));
      fillRectSpan(row, g.movingObject, r, kMovingDepth);
      fillRectSpan(row, g.nearObject, r, kNearDepth);
      fillRectSpan(row, g.hole, r, 0);
      fillSpan(row, 0, g.border, 0);
      fillSpan(row, w - g.border, w, 0);
    }
    std::memcpy(out + offset, row.data(), std::min(rowCount, count - offset) * sizeof(short));
  }
}

}  // namespace detail
}  // namespace CamSdk
