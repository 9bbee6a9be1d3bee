// A depth sample's vertices, worked out from its depth map: every source of depth samples
// (simulated, recorded, captured) gives the same points for the same depths.
#pragma once

#include <cstdint>

#include "camsdk/Node.h"

namespace CamSdk {
namespace detail {

// Points in millimetres seen by a simulated pinhole camera, one per depth pixel; (0, 0, 0)
// where the pixel has no data.
void computeVertices(const short* depth, std::int32_t width, std::int32_t height, Vertex* out);

}  // namespace detail
}  // namespace CamSdk
