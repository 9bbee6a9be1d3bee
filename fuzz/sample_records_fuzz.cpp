// A short run of arbitrary sample records, delivered the way the SDK delivers them (through an
// event and the adapter connectFunction makes) to the colour, depth and audio handlers: absent
// buffers, short and long buffers, any frame format code, any record values, keys pressed and
// the colour window's close button pressed between samples, and any time between samples.
//
// Every input starts where the viewer starts: the colour window open, nothing shown, no key
// pressed or kept. A model of what the viewer must do follows the samples and each handler call
// is checked against it: which pictures are shown at what size, which polls run, which keys they
// use up, and whether the loop is asked to end, so that state carried from one sample to the
// next (the key the depth poll keeps for the colour poll, a closed window) is checked too.
//
// Input layout (little-endian; bytes past the end read as zero):
//   byte 0        number of samples, 1 to 4 (value mod 4, plus 1)
//   per sample, 10 bytes:
//     byte 0      handler: colour, depth or audio (value mod 3)
//     byte 1      bit 0: main buffer present; bit 1: the other buffers present;
//                 bits 2-3: key pressed before the sample: none, q, Q, q with modifier bits;
//                 bit 4: the colour window's close button pressed before the sample
//     byte 2      milliseconds since the previous sample
//     bytes 3-6   frame format code, any 32-bit value
//     byte 7      size rule of the main buffer (value mod 4): 0 small, 1 what the format needs,
//                 2 a full 640 x 480 picture, 3 empty
//     bytes 8-9   size: the small size, or a signed change to the size the rule names
//   16 bytes      the records' other values (capture time, index, dropped count, rate, channels)
//   the rest      buffer contents, repeated to fill
#include <opencv2/highgui/highgui_c.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "FuzzCheck.h"
#include "FuzzInput.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"
#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "present/KeyHandOver.h"
#include "viewer/FrameHandlers.h"
#include "viewer/ViewerState.h"

namespace {

using CamSdk::testing::Scenario;
using Clock = keyHandOver::Clock;

constexpr std::size_t kColorFrameBytes = 640 * 480 * 2;
constexpr std::size_t kLargestBuffer = std::size_t{1} << 22;  // elements
constexpr int kMaxSamples = 4;

// A q the depth poll took counts at the colour poll for two colour frame periods at 25 fps.
constexpr std::chrono::milliseconds kKeptKeyCounts{80};

// The keys a person may press, with whether each must end the viewer: the window library
// reports q with modifier bits above its low byte (a lock key on), and Shift+Q as Q.
struct Key {
  int code;
  bool quits;
};
constexpr Key kKeys[] = {{-1, false}, {'q', true}, {'Q', false}, {0x100071, true}};

// The time of the key polls, moved by the input.
Clock::time_point pollTime;
Clock::time_point pollTimeNow() { return pollTime; }

// The viewer's context on a fresh simulated service, so that a q reaches a real quit(), and one
// node of each kind to deliver from. A fresh one for every input: the service keeps state of
// its own, such as the client's request budget, which quit() spends from.
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
  ~Camera() { ViewerState.context = CamSdk::Context(); }
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;
};

// What the viewer must have done so far, from the person's side: keys pressed and not yet
// taken by a poll, the key the last depth poll took and when, and the colour window.
struct Expected {
  std::deque<Key> keyboard;
  Key kept = kKeys[0];
  Clock::time_point keptAt;
  bool colorWindowOpen = true;
  bool closePressed = false;  // handled by the next poll of either display

  // One poll: takes the oldest key, and handles a press of the close button.
  Key poll() {
    Key key = kKeys[0];
    if (!keyboard.empty()) {
      key = keyboard.front();
      keyboard.pop_front();
    }
    if (closePressed) colorWindowOpen = false;
    closePressed = false;
    return key;
  }
};

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

struct Sample {
  std::uint8_t handler;
  bool mainPresent;
  bool othersPresent;
  Key key;
  bool closePressed;
  std::chrono::milliseconds gap;
  CamSdk::FrameFormat format;
  std::uint8_t rule;
  std::uint16_t rawSize;
};

Sample takeSample(FuzzInput& input) {
  Sample sample{};
  sample.handler = static_cast<std::uint8_t>(input.take<std::uint8_t>() % 3);
  const auto flags = input.take<std::uint8_t>();
  sample.mainPresent = (flags & 1) != 0;
  sample.othersPresent = (flags & 2) != 0;
  sample.key = kKeys[(flags >> 2) & 3];
  sample.closePressed = (flags & 16) != 0;
  sample.gap = std::chrono::milliseconds(input.take<std::uint8_t>());
  sample.format = static_cast<CamSdk::FrameFormat>(input.take<std::int32_t>());
  sample.rule = input.take<std::uint8_t>();
  sample.rawSize = input.take<std::uint16_t>();
  return sample;
}

// What the display stand-in counted, so that each handler call is judged by what it added.
struct DisplayCounts {
  int color = displayStandIn::showCount(kColorWindowName);
  int depth = displayStandIn::showCount(kDepthWindowName);
  int total = displayStandIn::totalShowCount();
  int polls = displayStandIn::waitKeyCalls();

  DisplayCounts since(const DisplayCounts& before) const {
    DisplayCounts added = *this;
    added.color -= before.color;
    added.depth -= before.depth;
    added.total -= before.total;
    added.polls -= before.polls;
    return added;
  }
};

// Whether the handler just called asked the loop to end.
bool quitWasRequested(const Scenario& scenario) {
  const std::vector<std::string> calls = scenario.calls();
  return std::find(calls.begin(), calls.end(), "Context::quit") != calls.end();
}

template <class Event, class Node, class Data, class Handler>
void deliver(Handler handler, const Node& node, const Data& data) {
  Event event;
  event.connectFunction(handler);
  CamSdk::detail::EventAccess::deliver(event, node, data);
}

void deliverColor(Camera& cam, const Sample& s, const Common& common,
                  const std::vector<std::uint8_t>& fill, Expected& expected) {
  const DisplayCounts before;
  const std::size_t size = sizeByRule(s.rule, s.rawSize, pixelsOf(s.format) * 2, kColorFrameBytes);
  const CamSdk::ColorNode::NewSampleReceivedData data{
      bufferOf<std::uint8_t>(s.mainPresent, size, fill),
      bufferOf<std::uint8_t>(s.othersPresent, fill.size(), fill),
      s.format,
      common.timeOfCapture,
      common.sampleIndex,
      common.droppedSampleCount};
  deliver<CamSdk::ColorNode::NewSampleReceivedEvent>(showColorFrame, cam.color, data);
  const DisplayCounts added = DisplayCounts().since(before);

  // A window closed in an earlier poll ends the viewer at once and is not brought back.
  if (!expected.colorWindowOpen) {
    FUZZ_CHECK(quitWasRequested(cam.scenario));
    FUZZ_CHECK(added.total == 0 && added.polls == 0);
    return;
  }
  // A map that holds a whole picture of its own format is shown at that format's size; any
  // other is not. The poll runs either way, so q always works.
  std::int32_t width = 0;
  std::int32_t height = 0;
  CamSdk::FrameFormat_toResolution(s.format, &width, &height);
  const bool full = width > 0 && size >= pixelsOf(s.format) * 2 && s.mainPresent;
  FUZZ_CHECK(added.color == (full ? 1 : 0) && added.total == added.color);
  if (full) {
    const auto shown = displayStandIn::lastShown(kColorWindowName);
    FUZZ_CHECK(shown && shown->width == width && shown->height == height && shown->channels == 3);
  }
  FUZZ_CHECK(added.polls == 1);
  const Key own = expected.poll();
  const bool keptCounts = pollTime - expected.keptAt <= kKeptKeyCounts && expected.kept.quits;
  expected.kept = kKeys[0];
  FUZZ_CHECK(quitWasRequested(cam.scenario) ==
             (own.quits || keptCounts || !expected.colorWindowOpen));
}

void deliverDepth(Camera& cam, const Sample& s, const Common& common,
                  const std::vector<std::uint8_t>& fill, Expected& expected) {
  const DisplayCounts before;
  const std::size_t size = sizeByRule(s.rule, s.rawSize, pixelsOf(s.format), 640 * 480);
  const std::size_t few = std::min<std::size_t>(fill.size(), 64);
  const CamSdk::DepthNode::NewSampleReceivedData data{
      bufferOf<short>(s.othersPresent, few, fill),
      bufferOf<short>(s.othersPresent, few, fill),
      bufferOf<short>(s.mainPresent, size, fill),
      bufferOf<float>(s.othersPresent, few, fill),
      bufferOf<CamSdk::Vertex>(s.othersPresent, few, fill),
      bufferOf<CamSdk::FPVertex>(s.othersPresent, few, fill),
      bufferOf<CamSdk::UV>(s.othersPresent, few, fill),
      s.format,
      common.timeOfCapture,
      common.sampleIndex,
      common.droppedSampleCount};
  deliver<CamSdk::DepthNode::NewSampleReceivedEvent>(showDepthFrame, cam.depth, data);
  const DisplayCounts added = DisplayCounts().since(before);

  // Shown exactly when the map covers the picture its format names, at that size; the keys
  // are polled only when something was shown, and the key taken is kept for the colour poll.
  const std::size_t pixels = pixelsOf(s.format);
  const bool showable = s.mainPresent && pixels > 0 && size >= pixels;
  FUZZ_CHECK(added.depth == (showable ? 1 : 0) && added.total == added.depth);
  FUZZ_CHECK(added.polls == (showable ? 1 : 0));
  if (showable) {
    const auto shown = displayStandIn::lastShown(kDepthWindowName);
    std::int32_t width = 0;
    std::int32_t height = 0;
    CamSdk::FrameFormat_toResolution(s.format, &width, &height);
    FUZZ_CHECK(shown && shown->width == width && shown->height == height);
    FUZZ_CHECK(shown->channels == 1 && shown->depth == 3);
    expected.kept = expected.poll();
    expected.keptAt = pollTime;
  }
  // The depth display acts on no key, but a colour window closed by the time of its poll ends
  // the viewer there, colour samples or not.
  FUZZ_CHECK(quitWasRequested(cam.scenario) == (showable && !expected.colorWindowOpen));
}

void deliverAudio(Camera& cam, const Sample& s, const Common& common,
                  const std::vector<std::uint8_t>& fill) {
  const DisplayCounts before;
  const CamSdk::AudioNode::NewSampleReceivedData data{
      bufferOf<std::uint8_t>(s.mainPresent, sizeByRule(s.rule, s.rawSize, 0, kColorFrameBytes),
                             fill),
      static_cast<std::int32_t>(common.sampleIndex),
      common.droppedSampleCount,
      common.timeOfCapture,
      common.sampleIndex,
      common.droppedSampleCount};
  deliver<CamSdk::AudioNode::NewSampleReceivedEvent>(dropAudioSample, cam.audio, data);
  const DisplayCounts added = DisplayCounts().since(before);
  FUZZ_CHECK(added.total == 0 && added.polls == 0);
  FUZZ_CHECK(!quitWasRequested(cam.scenario));
}

// The viewer as it starts: the colour window open (the entry function creates it), nothing
// shown, no key pressed or kept.
void startAsTheViewerStarts() {
  displayStandIn::reset();
  cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);
  keyHandOver::setTimeSource(pollTimeNow);
  pollTime = Clock::time_point(std::chrono::hours(1));
  keyHandOver::takeKeyFromDepthPoll();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
  Camera cam;
  startAsTheViewerStarts();
  const long handlersBefore = CamSdk::detail::EventAccess::liveHandlers();

  FuzzInput input(bytes, length);
  const int count = input.take<std::uint8_t>() % kMaxSamples + 1;
  std::vector<Sample> samples;
  for (int i = 0; i < count; ++i) samples.push_back(takeSample(input));
  Common common{};
  common.timeOfCapture = input.take<std::int64_t>();
  common.sampleIndex = input.take<std::int32_t>();
  common.droppedSampleCount = input.take<std::int32_t>();
  const std::vector<std::uint8_t> fill = input.rest();

  Expected expected;
  for (const Sample& sample : samples) {
    pollTime += sample.gap;
    if (sample.key.code != -1) expected.keyboard.push_back(sample.key);
    std::vector<int> pressed;
    for (const Key& key : expected.keyboard) pressed.push_back(key.code);
    displayStandIn::scriptKeys(pressed);
    if (sample.closePressed && expected.colorWindowOpen) {
      expected.closePressed = true;
      displayStandIn::closeWindowAtNextPoll(kColorWindowName);
    }
    cam.scenario.clearCalls();

    switch (sample.handler) {
      case 0:
        deliverColor(cam, sample, common, fill, expected);
        break;
      case 1:
        deliverDepth(cam, sample, common, fill, expected);
        break;
      default:
        deliverAudio(cam, sample, common, fill);
        break;
    }
    // The polls used up exactly the keys they were due to take.
    FUZZ_CHECK(displayStandIn::pendingKeys() == expected.keyboard.size());
    // The adapter went with its event.
    FUZZ_CHECK(CamSdk::detail::EventAccess::liveHandlers() == handlersBefore);
  }
  return 0;
}
