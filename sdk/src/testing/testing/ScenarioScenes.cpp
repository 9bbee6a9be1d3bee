// The scenario's view of the simulated content: whole frames as the service streams them, and
// the still band's known colours for tests that check a shown picture.
#include <vector>

#include "camsdk/testing/Scenario.h"
#include "scene/SceneGeometry.h"
#include "scene/Scenes.h"
#include "scene/StillBand.h"

namespace CamSdk {
namespace testing {

std::vector<std::uint8_t> Scenario::colorScene(FrameFormat format, std::int64_t sampleIndex) {
  const detail::SceneSize size = detail::sceneSize(format);
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(size.width) *
                                  static_cast<std::size_t>(size.height) * 2);
  detail::renderColorScene(format, sampleIndex, frame.data(), frame.size());
  return frame;
}

std::vector<short> Scenario::depthScene(FrameFormat format, std::int64_t sampleIndex) {
  const detail::SceneSize size = detail::sceneSize(format);
  std::vector<short> frame(static_cast<std::size_t>(size.width) *
                           static_cast<std::size_t>(size.height));
  detail::renderDepthScene(format, sampleIndex, frame.data(), frame.size());
  return frame;
}

// Columns are those of the 640 x 480 colour picture the viewer asks for; other sizes split
// their width into four blocks the same way (see stillBlockStart).
std::vector<Scenario::StillBlock> Scenario::stillBand() {
  const int width = detail::sceneSize(FRAME_FORMAT_VGA).width;
  std::vector<StillBlock> blocks;
  for (int i = 0; i < detail::kStillBlockCount; ++i) {
    const detail::StillColor c = detail::kStillColors[i];
    blocks.push_back({c.y, c.u, c.v, detail::stillBlockStart(width, i),
                      detail::stillBlockStart(width, i + 1) - 1});
  }
  return blocks;
}

int Scenario::stillBandRows() { return detail::kStillBandRows; }

}  // namespace testing
}  // namespace CamSdk
