// Where things are in the simulated pictures for a given size and sample index. Shared by the
// renderers and their tests, so a test can ask where the moving box is instead of guessing.
#pragma once

#include <algorithm>
#include <cstdint>

#include "camsdk/FrameFormat.h"
#include "scene/StillBand.h"

namespace CamSdk {
namespace detail {

struct SceneSize {
  int width = 0;
  int height = 0;
};

inline SceneSize sceneSize(FrameFormat format) {
  std::int32_t w = 0;
  std::int32_t h = 0;
  FrameFormat_toResolution(format, &w, &h);
  if (w <= 0 || h <= 0) return {};
  return {w, h};
}

// Remainder with the sign of `m` (m > 0), so negative sample indices still animate smoothly.
inline std::int64_t floorMod(std::int64_t a, std::int64_t m) {
  const std::int64_t r = a % m;
  return r < 0 ? r + m : r;
}

// Position bouncing between 0 and `travel`, moving `step` per sample.
inline int bounce(std::int64_t sampleIndex, int step, int travel) {
  if (travel <= 0) return 0;
  const std::int64_t period = 2 * std::int64_t{travel};
  const std::int64_t p = floorMod(floorMod(sampleIndex, period) * step, period);
  return static_cast<int>(p <= travel ? p : period - p);
}

struct ColorGeometry {
  int bandRows;                              // still band: rows [0, bandRows)
  int stripeHeight;                          // rows per stripe below the band
  int stripeScroll;                          // rows the stripes have moved up
  int boxLeft, boxTop, boxWidth, boxHeight;  // the bright box, in pixels
};

inline ColorGeometry colorGeometry(SceneSize size, std::int64_t sampleIndex) {
  constexpr int kStripeLevels = 8;
  ColorGeometry g{};
  const int w = size.width;
  const int h = size.height;
  g.bandRows = std::min(kStillBandRows, h);
  g.stripeHeight = std::max(2, h / 30);
  const int period = g.stripeHeight * kStripeLevels;
  g.stripeScroll = static_cast<int>(
      floorMod(floorMod(sampleIndex, std::int64_t{period}) * 2, std::int64_t{period}));
  g.boxWidth = std::min(w & ~1, std::max(2, (w / 8) & ~1));
  g.boxHeight = std::max(1, h / 6);
  g.boxTop = g.bandRows + std::max(0, (h - g.bandRows - g.boxHeight) / 2);
  const int step = std::max(2, (w / 80) & ~1);
  g.boxLeft = bounce(sampleIndex, step, w - g.boxWidth) & ~1;
  return g;
}

struct Rect {
  int left, top, right, bottom;  // half-open: [left, right) x [top, bottom)
  bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
};

constexpr short kWallDepth = 3000;
constexpr short kFloorNearDepth = 1500;  // bottom row of the floor
constexpr short kMovingDepth = 1800;
constexpr short kNearDepth = 800;

struct DepthGeometry {
  int border;    // columns/rows without data along every edge
  int floorTop;  // first row of the floor, which comes closer towards the bottom
  Rect nearObject;
  Rect hole;  // no data inside the near object
  Rect movingObject;
};

inline DepthGeometry depthGeometry(SceneSize size, std::int64_t sampleIndex) {
  const int w = size.width;
  const int h = size.height;
  DepthGeometry g{};
  g.border = std::max(1, w / 64);
  g.floorTop = h * 3 / 4;
  g.nearObject = {w / 8, h / 4, w / 8 + w / 5, h * 3 / 4};
  const int cx = (g.nearObject.left + g.nearObject.right) / 2;
  const int cy = (g.nearObject.top + g.nearObject.bottom) / 2;
  const int hw = std::max(1, w / 40);
  const int hh = std::max(1, h / 30);
  g.hole = {cx - hw, cy - hh, cx + hw, cy + hh};
  const int movingWidth = std::max(1, w / 6);
  const int first = w * 2 / 5;
  const int travel = w - g.border - movingWidth - first;
  const int left = first + bounce(sampleIndex, std::max(1, w / 80), travel);
  g.movingObject = {left, h / 3, left + movingWidth, h * 2 / 3};
  return g;
}

}  // namespace detail
}  // namespace CamSdk
