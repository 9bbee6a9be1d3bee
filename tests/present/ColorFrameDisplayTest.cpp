// The colour handler against the display stand-in: what picture reaches the colour window,
// when the context is asked to quit (q, a q the depth poll kept for it while it is fresh, the
// colour window closed), and that a sample it cannot show (no colour map, a short one, no work
// buffer, no image) is skipped without reading out of bounds while the key poll still runs, so
// q keeps working.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <opencv2/core/core_c.h>
#include <opencv2/highgui/highgui_c.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "FrameSamples.h"
#include "camsdk/testing/Scenario.h"
#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "present/KeyHandOver.h"
#include "present/Yuy2ToBgr.h"
#include "viewer/FrameHandlers.h"
#include "viewer/ViewerState.h"

namespace {

using CamSdk::testing::Scenario;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

// The time of the key polls, moved by hand.
keyHandOver::Clock::time_point pollTime;
keyHandOver::Clock::time_point pollTimeNow() { return pollTime; }

class ColorFrameDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    openColorWindow();
    keyHandOver::setTimeSource(pollTimeNow);
    keyHandOver::takeKeyFromDepthPoll();  // nothing left over from an earlier test
    ViewerState.context = CamSdk::Context::create("localhost");
    scenario_.clearCalls();
  }
  void TearDown() override {
    colorFrameDisplay::setWorkBufferAllocator(nullptr);
    keyHandOver::setTimeSource(nullptr);
    ViewerState.context = CamSdk::Context();
  }

  // A display with nothing shown yet but the colour window, as the entry function leaves it.
  static void openColorWindow() {
    displayStandIn::reset();
    cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);
  }

  // A q taken by the depth poll; the colour frame follows `later` after that poll.
  bool colourFrameAfterDepthPollOfQQuits(std::chrono::milliseconds later) {
    const std::vector<short> depthMap(160 * 120, 1000);
    displayStandIn::scriptKeys({'q'});
    showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, depthMap));
    EXPECT_FALSE(quitRequested()) << "the depth display does not act on keys";
    pollTime += later;
    showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
    return quitRequested();
  }

  bool quitRequested() const {
    const std::vector<std::string> calls = scenario_.calls();
    return std::count(calls.begin(), calls.end(), "Context::quit") > 0;
  }

  static std::vector<std::uint8_t> sceneFrame() {
    return Scenario::colorScene(CamSdk::FRAME_FORMAT_VGA, 3);
  }

  // Shows one full frame with `key` waiting at the poll; true when the context was asked to quit.
  bool quitsOnKey(int key) {
    displayStandIn::scriptKeys({key});
    showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
    return quitRequested();
  }

  Scenario scenario_ = Scenario::fresh();
};

TEST_F(ColorFrameDisplay, ShowsThe640x480BgrConversionOfTheColourMapThenPolls) {
  const std::vector<std::uint8_t> yuy2 = sceneFrame();
  ASSERT_EQ(yuy2.size(), kYuy2FrameBytes);
  std::vector<std::uint8_t> expected(kBgrFrameBytes);
  convertYuy2ToBgr(yuy2.data(), expected.data());

  showColorFrame(CamSdk::ColorNode(), colorSample(yuy2));

  const auto shown = displayStandIn::lastShown(kColorWindowName);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->width, 640);
  EXPECT_EQ(shown->height, 480);
  EXPECT_EQ(shown->channels, 3);
  EXPECT_EQ(shown->type, CV_8UC3);
  EXPECT_TRUE(shown->bytes == expected) << "the window got other bytes than the conversion";
  EXPECT_EQ(displayStandIn::totalShowCount(), 1);
  EXPECT_THAT(
      displayStandIn::events(),
      ElementsAre("namedWindow Color Camera", "show Color Camera 640x480x3", "waitKey 1 -> -1"));
  EXPECT_FALSE(quitRequested());
}

TEST_F(ColorFrameDisplay, LowerCaseQAsksTheContextToQuitAfterTheFrameIsShown) {
  displayStandIn::scriptKeys({'q'});
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));

  EXPECT_THAT(
      displayStandIn::events(),
      ElementsAre("namedWindow Color Camera", "show Color Camera 640x480x3", "waitKey 1 -> 113"));
  const std::vector<std::string> calls = scenario_.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Context::quit"), 1);
}

TEST_F(ColorFrameDisplay, OnlyAKeyCodeWhoseLowByteIsQQuits) {
  EXPECT_FALSE(quitsOnKey('Q'));
  EXPECT_FALSE(quitsOnKey(27)) << "Escape";
  EXPECT_FALSE(quitsOnKey('x'));
  EXPECT_FALSE(quitsOnKey(0x71 + 1));
  EXPECT_FALSE(quitsOnKey(0xf1)) << "q with the top bit set";
  EXPECT_FALSE(quitsOnKey(-1)) << "no key";
  EXPECT_TRUE(quitsOnKey(0x100071)) << "q with modifier bits above the low byte";
}

// Both displays poll the one keyboard. On a full camera the depth frame comes just before each
// colour frame, and a q its poll took was lost; the colour poll that follows now counts it.
TEST_F(ColorFrameDisplay, AQTheDepthPollTookJustBeforeEndsTheViewerAtTheColourPoll) {
  EXPECT_TRUE(colourFrameAfterDepthPollOfQQuits(std::chrono::milliseconds(3)));
}

// When depth frames stop (no map, a refused size, the node unplugged) or colour frames pause,
// a kept q must not end the viewer at some much later colour frame: it counts for 80 ms, two
// colour frame periods, and no longer.
TEST_F(ColorFrameDisplay, AKeptQCountsForTwoColourFramePeriodsOnly) {
  EXPECT_TRUE(colourFrameAfterDepthPollOfQQuits(std::chrono::milliseconds(80)));
  scenario_.clearCalls();
  EXPECT_FALSE(colourFrameAfterDepthPollOfQQuits(std::chrono::milliseconds(81)));
  scenario_.clearCalls();
  EXPECT_FALSE(colourFrameAfterDepthPollOfQQuits(std::chrono::seconds(30)));
}

// Closing the colour window with the window manager's close button ends the viewer as q does,
// whichever poll the display library handled the close in; the frame that follows does not
// bring the window back. Closing the depth window does not end the viewer.
TEST_F(ColorFrameDisplay, ClosingTheColourWindowEndsTheViewerClosingTheDepthWindowDoesNot) {
  displayStandIn::closeWindowAtNextPoll(kColorWindowName);
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  EXPECT_TRUE(quitRequested()) << "closed in the colour poll";

  openColorWindow();
  scenario_.clearCalls();
  const std::vector<short> depthMap(160 * 120, 1000);
  displayStandIn::closeWindowAtNextPoll(kColorWindowName);
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, depthMap));
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  EXPECT_TRUE(quitRequested()) << "closed in the depth poll";
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 0) << "the closed window came back";

  openColorWindow();
  scenario_.clearCalls();
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, depthMap));
  displayStandIn::closeWindowAtNextPoll(kDepthWindowName);
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  EXPECT_FALSE(quitRequested()) << "the depth window closed";
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 2);
}

TEST_F(ColorFrameDisplay, AKeyTheDepthPollTookIsReplacedByItsNextPoll) {
  const std::vector<short> depthMap(160 * 120, 1000);
  displayStandIn::scriptKeys({'q'});
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, depthMap));
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, depthMap));
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  EXPECT_FALSE(quitRequested()) << "a q from before the last depth poll";
}

TEST_F(ColorFrameDisplay, AQuitRequestDoesNotStopLaterFramesFromShowing) {
  displayStandIn::scriptKeys({'q'});
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 2);
}

TEST_F(ColorFrameDisplay, ASampleWithoutColourMapShowsNothingButQStillQuits) {
  displayStandIn::scriptKeys({'q'});
  CamSdk::ColorNode::NewSampleReceivedData data{};
  showColorFrame(CamSdk::ColorNode(), data);

  EXPECT_EQ(displayStandIn::totalShowCount(), 0);
  EXPECT_EQ(displayStandIn::waitKeyCalls(), 1);
  EXPECT_TRUE(quitRequested());
}

TEST_F(ColorFrameDisplay, AShortColourMapIsNeitherReadNorShownButQStillQuits) {
  // One byte short of a frame, and a smaller format's whole map.
  for (std::size_t bytes : {kYuy2FrameBytes - 1, std::size_t{320 * 240 * 2}}) {
    openColorWindow();
    scenario_.clearCalls();
    displayStandIn::scriptKeys({'q'});
    showColorFrame(CamSdk::ColorNode(), colorSample(std::vector<std::uint8_t>(bytes, 128)));

    EXPECT_EQ(displayStandIn::totalShowCount(), 0) << bytes;
    EXPECT_EQ(displayStandIn::waitKeyCalls(), 1) << bytes;
    EXPECT_TRUE(quitRequested()) << bytes;
  }
}

// A capture device that refused 640 x 480 streams its own size: each sample is shown at the size
// its own format names, never as a scrambled 640 x 480 picture. A map that holds no whole picture
// of its format, or a format that names no size, is skipped, and said once for each format.
TEST_F(ColorFrameDisplay, EachSampleIsShownAtItsOwnFormatsSizeOrSkippedAndSaidOnce) {
  const std::vector<std::uint8_t> qvga = Scenario::colorScene(CamSdk::FRAME_FORMAT_QVGA, 3);
  ASSERT_EQ(qvga.size(), std::size_t{320 * 240 * 2});
  std::vector<std::uint8_t> expected(320 * 240 * 3);
  ASSERT_TRUE(convertYuy2ToBgr(qvga.data(), 320 * 2, expected.data(), 320 * 3, 320, 240));
  CamSdk::ColorNode::NewSampleReceivedData whole = colorSample(qvga);
  whole.frameFormat = CamSdk::FRAME_FORMAT_QVGA;
  showColorFrame(CamSdk::ColorNode(), whole);
  const auto shown = displayStandIn::lastShown(kColorWindowName);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->width, 320);
  EXPECT_EQ(shown->height, 240);
  EXPECT_TRUE(shown->bytes == expected) << "the window got other bytes than the conversion";

  CamSdk::ColorNode::NewSampleReceivedData cut = colorSample(std::vector<std::uint8_t>(1000, 128));
  cut.frameFormat = CamSdk::FRAME_FORMAT_QVGA;
  CamSdk::ColorNode::NewSampleReceivedData sizeless = colorSample(sceneFrame());
  sizeless.frameFormat = static_cast<CamSdk::FrameFormat>(99);
  ::testing::internal::CaptureStdout();
  for (int repeat = 0; repeat < 2; ++repeat) {
    showColorFrame(CamSdk::ColorNode(), cut);
    showColorFrame(CamSdk::ColorNode(), sizeless);
  }
  const std::string said = ::testing::internal::GetCapturedStdout();
  const std::string line =
      "Colour samples whose map holds no whole picture of their frame "
      "format are not shown (frame format ";
  EXPECT_EQ(said, line + std::to_string(static_cast<int>(CamSdk::FRAME_FORMAT_QVGA)) +
                      ", 1000 bytes)\n" + line + "99, 614400 bytes)\n");
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 1) << "a skipped sample was shown";
}

void* noMemory(std::size_t) { return nullptr; }

TEST_F(ColorFrameDisplay, NoWorkBufferSkipsTheFrameButQStillQuits) {
  colorFrameDisplay::setWorkBufferAllocator(noMemory);
  displayStandIn::scriptKeys({'q'});
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));

  EXPECT_EQ(displayStandIn::totalShowCount(), 0);
  EXPECT_EQ(displayStandIn::waitKeyCalls(), 1);
  EXPECT_TRUE(quitRequested());
}

// Image allocators under which the display library cannot create any image.
IplImage* CV_STDCALL noImageHeader(int, int, int, char*, char*, int, int, int, int, int, IplROI*,
                                   IplImage*, void*, IplTileInfo*) {
  return nullptr;
}
void CV_STDCALL noImageData(IplImage*, int, int) {}
void CV_STDCALL noDeallocation(IplImage*, int) {}
IplROI* CV_STDCALL noRoi(int, int, int, int, int) { return nullptr; }
IplImage* CV_STDCALL noClone(const IplImage*) { return nullptr; }

TEST_F(ColorFrameDisplay, AnImageThatCannotBeCreatedSkipsTheFrameButQStillQuits) {
  cvSetIPLAllocators(noImageHeader, noImageData, noDeallocation, noRoi, noClone);
  displayStandIn::scriptKeys({'q'});
  showColorFrame(CamSdk::ColorNode(), colorSample(sceneFrame()));
  cvSetIPLAllocators(nullptr, nullptr, nullptr, nullptr, nullptr);

  EXPECT_EQ(displayStandIn::totalShowCount(), 0);
  EXPECT_EQ(displayStandIn::waitKeyCalls(), 1);
  EXPECT_TRUE(quitRequested());
}

}  // namespace
