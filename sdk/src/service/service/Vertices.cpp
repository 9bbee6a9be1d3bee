#include "service/Vertices.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace CamSdk {
namespace detail {

namespace {

// Rounds half away from zero. The callers' values lie well inside the 16-bit range (a slope
// below 1 times a depth below 32768), so a truncating conversion after adding the half is enough;
// the library's round() would be a call per pixel on the baseline instruction set.
std::int16_t toCoordinate(double millimetres) {
  return static_cast<std::int16_t>(
      static_cast<std::int32_t>(millimetres + std::copysign(0.5, millimetres)));
}

}  // namespace

void computeVertices(const short* depth, std::int32_t width, std::int32_t height, Vertex* out) {
  // A horizontal field of view of about 67 degrees. The slope of each column and row is worked
  // out once per frame, so a pixel costs two multiplications.
  const double focal = 0.75 * width;
  const double centreX = (width - 1) / 2.0;
  const double centreY = (height - 1) / 2.0;
  std::vector<double> columnSlope(static_cast<std::size_t>(std::max(width, 0)));
  for (std::int32_t column = 0; column < width; ++column) {
    columnSlope[column] = (column - centreX) / focal;
  }
  for (std::int32_t row = 0; row < height; ++row) {
    const double rowSlope = (centreY - row) / focal;
    const std::size_t rowStart = static_cast<std::size_t>(row) * width;
    for (std::int32_t column = 0; column < width; ++column) {
      const std::size_t at = rowStart + column;
      // A pixel without data (0, or a negative value) has no point: all three coordinates 0.
      const short z = std::max<short>(depth[at], 0);
      out[at] = Vertex{toCoordinate(columnSlope[column] * z), toCoordinate(rowSlope * z), z};
    }
  }
}

}  // namespace detail
}  // namespace CamSdk
