// Arbitrary sample records, delivered the way the SDK delivers them (through an event and the
// adapter connectFunction makes) to the colour, depth and audio handlers: absent buffers, short
// and long buffers, any frame format code, any record values, and a pending q or not.
//
// Input layout (little-endian; bytes past the end read as zero):
//   byte 0       handler: colour, depth or audio (value mod 3)
//   byte 1       bit 0: main buffer present; bit 1: the other buffers present; bit 2: q pending
//   bytes 2-5    frame format code, any 32-bit value
//   byte 6       size rule of the main buffer (value mod 4): 0 small, 1 what the format needs,
//                2 a full 640 x 480 picture, 3 empty
//   bytes 7-8    size: the small size, or a signed change to the size the rule names
//   bytes 9-24   the record's other values (capture time, index, dropped count, rate, channels)
//   the rest     buffer contents, repeated to fill
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "present/AudioSink.h"
#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "viewer/ViewerState.h"

namespace {

using CamSdk::testing::Scenario;

constexpr std::size_t kColorFrameBytes = 640 * 480 * 2;
constexpr std::size_t kLargestBuffer = std::size_t{1} << 22;  // elements

// The viewer's context on a simulated service, so that a q reaches a real quit(), and one node
// of each kind to deliver from.
struct Camera {
  Scenario scenario = Scenario::fresh();
  CamSdk::ColorNode color;
  CamSdk::DepthNode depth;
  CamSdk::AudioNode audio;

  Camera() {
    ViewerState.context = CamSdk::Context::create("localhost");
    for (const CamSdk::Node& node : ViewerState.context.listDevices().at(0).listNodes()) {
      if (node.is<CamSdk::ColorNode>()) color = node.as<CamSdk::ColorNode>();
      if (node.is<CamSdk::DepthNode>()) depth = node.as<CamSdk::DepthNode>();
      if (node.is<CamSdk::AudioNode>()) audio = node.as<CamSdk::AudioNode>();
    }
  }
};

Camera& camera() {
  static Camera instance;
  return instance;
}

std::size_t pixelsOf(CamSdk::FrameFormat format) {
  std::int32_t width = 0;
  std::int32_t height = 0;
  CamSdk::FrameFormat_toResolution(format, &width, &height);
  return static_cast<std::size_t>(std::max(width, 0)) *
         static_cast<std::size_t>(std::max(height, 0));
}

std::size_t sizeByRule(std::uint8_t rule, std::uint16_t raw, std::size_t formatNeeds,
                       std::size_t fullPicture) {
  const auto change = static_cast<std::int16_t>(raw);
  auto shifted = [change](std::size_t base) {
    const long long size = static_cast<long long>(base) + change;
    return static_cast<std::size_t>(std::max(size, 0LL));
  };
  switch (rule % 4) {
    case 0:
      return raw;
    case 1:
      return std::min(shifted(formatNeeds), kLargestBuffer);
    case 2:
      return shifted(fullPicture);
    default:
      return 0;
  }
}

// A buffer of exactly `count` elements on the heap, so that a read past its end is caught.
template <class T>
CamSdk::Pointer<T> bufferOf(bool present, std::size_t count,
                            const std::vector<std::uint8_t>& fill) {
  if (!present) return CamSdk::Pointer<T>();
  auto storage = std::make_shared<std::vector<T>>(count);
  auto* bytes = reinterpret_cast<std::uint8_t*>(storage->data());
  const std::size_t total = count * sizeof(T);
  for (std::size_t done = 0; !fill.empty() && done < total;) {
    const std::size_t chunk = std::min(fill.size(), total - done);
    std::copy(fill.begin(), fill.begin() + static_cast<std::ptrdiff_t>(chunk), bytes + done);
    done += chunk;
  }
  const T* data = storage->data();
  return CamSdk::Pointer<T>(std::move(storage), data, count);
}

struct Common {
  std::int64_t timeOfCapture;
  std::int64_t sampleIndex;
  std::int32_t droppedSampleCount;
};

void deliverColor(bool mainPresent, bool othersPresent, CamSdk::FrameFormat format,
                  std::size_t size, const Common& common, const std::vector<std::uint8_t>& fill) {
  CamSdk::ColorNode::NewSampleReceivedData data{
      bufferOf<std::uint8_t>(mainPresent, size, fill),
      bufferOf<std::uint8_t>(othersPresent, fill.size(), fill),
      format,
      common.timeOfCapture,
      common.sampleIndex,
      common.droppedSampleCount};
  const bool full = data.colorMap.data() != nullptr && data.colorMap.size() >= kColorFrameBytes;
  {
    CamSdk::ColorNode::NewSampleReceivedEvent event;
    event.connectFunction(showColorFrame);
    CamSdk::detail::EventAccess::deliver(event, camera().color, data);
  }
  // A full colour map is shown at 640 x 480 whatever the format says; anything less is not.
  FUZZ_CHECK(displayStandIn::showCount(kColorWindowName) == (full ? 1 : 0));
  if (full) {
    const auto shown = displayStandIn::lastShown(kColorWindowName);
    FUZZ_CHECK(shown && shown->width == 640 && shown->height == 480 && shown->channels == 3);
  }
  FUZZ_CHECK(displayStandIn::waitKeyCalls() == 1);
}

void deliverDepth(bool mainPresent, bool othersPresent, CamSdk::FrameFormat format,
                  std::size_t size, const Common& common, const std::vector<std::uint8_t>& fill) {
  const std::size_t few = std::min<std::size_t>(fill.size(), 64);
  CamSdk::DepthNode::NewSampleReceivedData data{
      bufferOf<short>(othersPresent, few, fill),
      bufferOf<short>(othersPresent, few, fill),
      bufferOf<short>(mainPresent, size, fill),
      bufferOf<float>(othersPresent, few, fill),
      bufferOf<CamSdk::Vertex>(othersPresent, few, fill),
      bufferOf<CamSdk::FPVertex>(othersPresent, few, fill),
      bufferOf<CamSdk::UV>(othersPresent, few, fill),
      format,
      common.timeOfCapture,
      common.sampleIndex,
      common.droppedSampleCount};
  const std::size_t pixels = pixelsOf(format);
  const bool showable =
      data.depthMap.data() != nullptr && pixels > 0 && data.depthMap.size() >= pixels;
  {
    CamSdk::DepthNode::NewSampleReceivedEvent event;
    event.connectFunction(showDepthFrame);
    CamSdk::detail::EventAccess::deliver(event, camera().depth, data);
  }
  // Shown exactly when the map covers the picture its format names, at that size; the keys
  // are polled only when something was shown.
  FUZZ_CHECK(displayStandIn::showCount(kDepthWindowName) == (showable ? 1 : 0));
  FUZZ_CHECK(displayStandIn::waitKeyCalls() == (showable ? 1 : 0));
  if (showable) {
    const auto shown = displayStandIn::lastShown(kDepthWindowName);
    std::int32_t width = 0;
    std::int32_t height = 0;
    CamSdk::FrameFormat_toResolution(format, &width, &height);
    FUZZ_CHECK(shown && shown->width == width && shown->height == height);
    FUZZ_CHECK(shown->channels == 1 && shown->depth == 3);
  }
}

void deliverAudio(bool mainPresent, std::size_t size, std::int32_t rate, std::int32_t channels,
                  const Common& common, const std::vector<std::uint8_t>& fill) {
  CamSdk::AudioNode::NewSampleReceivedData data{bufferOf<std::uint8_t>(mainPresent, size, fill),
                                                rate,
                                                channels,
                                                common.timeOfCapture,
                                                common.sampleIndex,
                                                common.droppedSampleCount};
  {
    CamSdk::AudioNode::NewSampleReceivedEvent event;
    event.connectFunction(dropAudioSample);
    CamSdk::detail::EventAccess::deliver(event, camera().audio, data);
  }
  FUZZ_CHECK(displayStandIn::totalShowCount() == 0 && displayStandIn::waitKeyCalls() == 0);
}

bool quitWasRequested(const Scenario& scenario) {
  for (const std::string& call : scenario.calls()) {
    if (call == "Context::quit") return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
  Camera& cam = camera();
  displayStandIn::reset();
  cam.scenario.clearCalls();
  const long handlersBefore = CamSdk::EventHandlerBase::liveCount();

  FuzzInput input(bytes, length);
  const auto handler = static_cast<std::uint8_t>(input.take<std::uint8_t>() % 3);
  const auto flags = input.take<std::uint8_t>();
  const auto format = static_cast<CamSdk::FrameFormat>(input.take<std::int32_t>());
  const auto rule = input.take<std::uint8_t>();
  const auto rawSize = input.take<std::uint16_t>();
  Common common{};
  common.timeOfCapture = input.take<std::int64_t>();
  common.sampleIndex = input.take<std::int32_t>();
  common.droppedSampleCount = input.take<std::int32_t>();
  const std::vector<std::uint8_t> fill = input.rest();

  const bool mainPresent = (flags & 1) != 0;
  const bool othersPresent = (flags & 2) != 0;
  const bool quitKey = (flags & 4) != 0;
  if (quitKey) displayStandIn::scriptKeys({'q'});

  switch (handler) {
    case 0:
      deliverColor(mainPresent, othersPresent, format,
                   sizeByRule(rule, rawSize, pixelsOf(format) * 2, kColorFrameBytes), common, fill);
      // The colour poll always runs, so a pending q always asks the loop to end.
      FUZZ_CHECK(quitWasRequested(cam.scenario) == quitKey);
      break;
    case 1:
      deliverDepth(mainPresent, othersPresent, format,
                   sizeByRule(rule, rawSize, pixelsOf(format), 640 * 480), common, fill);
      FUZZ_CHECK(!quitWasRequested(cam.scenario));
      break;
    default:
      deliverAudio(mainPresent, sizeByRule(rule, rawSize, 0, kColorFrameBytes),
                   static_cast<std::int32_t>(common.sampleIndex), common.droppedSampleCount, common,
                   fill);
      FUZZ_CHECK(!quitWasRequested(cam.scenario));
      break;
  }
  // The adapter went with its event.
  FUZZ_CHECK(CamSdk::EventHandlerBase::liveCount() == handlersBefore);
  return 0;
}
