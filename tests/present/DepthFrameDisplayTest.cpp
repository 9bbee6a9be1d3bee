// The depth handler and the audio sink against the display stand-in: each depth picture at
// its own format's size with the values untouched, the key poll that drops every key, and
// samples that cannot be shown (no map, no usable size, a map too short for its size) left
// alone without a poll. The last test runs both handlers in one event loop to show that q
// ends the viewer only through the colour handler.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <opencv2/highgui/highgui_c.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "FrameSamples.h"
#include "camsdk/testing/Scenario.h"
#include "present/ColorFrameDisplay.h"
#include "present/DepthFrameDisplay.h"
#include "viewer/FrameHandlers.h"
#include "viewer/ViewerState.h"

namespace {

using CamSdk::testing::Scenario;

std::vector<short> rampOf(std::size_t count) {
  std::vector<short> values(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = static_cast<short>(static_cast<int>(i * 37 % 65536) - 32768);
  }
  return values;
}

std::vector<short> shownValues(const displayStandIn::ShownImage& image) {
  std::vector<short> values(image.bytes.size() / sizeof(short));
  std::memcpy(values.data(), image.bytes.data(), values.size() * sizeof(short));
  return values;
}

class DepthFrameDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    displayStandIn::reset();
    cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);  // as the entry function does
  }
};

TEST_F(DepthFrameDisplay, EachSampleIsShownAtItsOwnFormatsSizeWithValuesUnchanged) {
  const std::vector<short> qvga = rampOf(320 * 240);
  const std::vector<short> qqvga = rampOf(160 * 120);

  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QVGA, qvga));
  auto shown = displayStandIn::lastShown(kDepthWindowName);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->width, 320);
  EXPECT_EQ(shown->height, 240);
  EXPECT_EQ(shown->type, CV_16SC1);
  EXPECT_TRUE(shownValues(*shown) == qvga);

  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, qqvga));
  shown = displayStandIn::lastShown(kDepthWindowName);
  ASSERT_TRUE(shown.has_value());
  EXPECT_EQ(shown->width, 160);
  EXPECT_EQ(shown->height, 120);
  EXPECT_TRUE(shownValues(*shown) == qqvga);

  EXPECT_EQ(displayStandIn::showCount(kDepthWindowName), 2);
  EXPECT_EQ(displayStandIn::waitKeyCalls(), 2);
  EXPECT_EQ(displayStandIn::lastWaitKeyDelay(), 1);
}

TEST_F(DepthFrameDisplay, ALongerMapShowsOnlyTheFormatsPicture) {
  std::vector<short> values = rampOf(160 * 120 + 50);
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, values));
  const auto shown = displayStandIn::lastShown(kDepthWindowName);
  ASSERT_TRUE(shown.has_value());
  values.resize(160 * 120);
  EXPECT_TRUE(shownValues(*shown) == values);
}

TEST_F(DepthFrameDisplay, TheDepthPollUsesUpTheKey) {
  displayStandIn::scriptKeys({'q'});
  showDepthFrame(CamSdk::DepthNode(), depthSample(CamSdk::FRAME_FORMAT_QQVGA, rampOf(160 * 120)));
  EXPECT_EQ(displayStandIn::pendingKeys(), 0u);
}

TEST_F(DepthFrameDisplay, SamplesThatCannotBeShownLeaveTheKeyForTheColourHandler) {
  struct Case {
    const char* what;
    CamSdk::DepthNode::NewSampleReceivedData data;
  };
  CamSdk::DepthNode::NewSampleReceivedData absent{};
  absent.frameFormat = CamSdk::FRAME_FORMAT_QVGA;
  const Case cases[] = {
      {"no depth map", absent},
      {"unknown format", depthSample(CamSdk::FRAME_FORMAT_UNKNOWN, rampOf(100))},
      {"code outside the table", depthSample(static_cast<CamSdk::FrameFormat>(99), rampOf(100))},
      {"map one value short", depthSample(CamSdk::FRAME_FORMAT_QVGA, rampOf(320 * 240 - 1))},
      {"smaller format's map", depthSample(CamSdk::FRAME_FORMAT_VGA, rampOf(320 * 240))},
  };
  for (const Case& sample : cases) {
    displayStandIn::reset();
    displayStandIn::scriptKeys({'q'});
    showDepthFrame(CamSdk::DepthNode(), sample.data);
    EXPECT_EQ(displayStandIn::totalShowCount(), 0) << sample.what;
    EXPECT_EQ(displayStandIn::waitKeyCalls(), 0) << sample.what;
    EXPECT_EQ(displayStandIn::pendingKeys(), 1u) << sample.what;
  }
}

TEST(AudioSink, AnAudioSampleShowsAndPollsNothingAndLeavesItsBufferAlone) {
  displayStandIn::reset();
  const std::vector<std::uint8_t> samples(4096, 0x5a);
  CamSdk::AudioNode::NewSampleReceivedData data{};
  data.audioData = bufferOf(samples);
  data.sampleRate = 44100;
  data.channels = 2;

  dropAudioSample(CamSdk::AudioNode(), data);

  EXPECT_EQ(displayStandIn::totalShowCount(), 0);
  EXPECT_EQ(displayStandIn::waitKeyCalls(), 0);
  EXPECT_EQ(data.audioData.size(), samples.size());
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), data.audioData.data()));
}

bool stopAsked = false;
void noteStop() { stopAsked = true; }

// With the colour stream unplugged only depth frames come: a colour window closed meanwhile ends
// the viewer at the next depth poll, not at some colour frame minutes later.
TEST_F(DepthFrameDisplay, AColourWindowClosedByTheTimeOfItsPollAsksTheLoopToStop) {
  const std::vector<short> qqvga = rampOf(160 * 120);
  stopAsked = false;
  depthFrameDisplay::show(depthSample(CamSdk::FRAME_FORMAT_QQVGA, qqvga), noteStop);
  EXPECT_FALSE(stopAsked) << "the colour window is open";
  displayStandIn::closeWindowAtNextPoll(kColorWindowName);
  depthFrameDisplay::show(depthSample(CamSdk::FRAME_FORMAT_QQVGA, qqvga), noteStop);
  EXPECT_TRUE(stopAsked);
  EXPECT_EQ(displayStandIn::showCount(kDepthWindowName), 2);
}

// Both handlers in one event loop of the simulated camera: q pressed while only depth streams
// is used up by the depth poll; the first colour frame after a later q ends the loop.
TEST(FrameHandlersInTheEventLoop, QEndsTheLoopOnlyThroughTheColourHandler) {
  displayStandIn::reset();
  cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);  // as the entry function does
  Scenario scenario = Scenario::fresh();
  CamSdk::Context context = CamSdk::Context::create("localhost");
  ViewerState.context = context;
  CamSdk::DepthNode depth;
  CamSdk::ColorNode color;
  for (const CamSdk::Device& device : context.listDevices()) {
    for (const CamSdk::Node& node : device.listNodes()) {
      if (node.is<CamSdk::DepthNode>()) depth = node.as<CamSdk::DepthNode>();
      if (node.is<CamSdk::ColorNode>()) color = node.as<CamSdk::ColorNode>();
    }
  }
  ASSERT_TRUE(depth.isSet());
  ASSERT_TRUE(color.isSet());
  depth.setEnableDepthMap(true);
  color.setEnableColorMap(true);
  depth.newSampleReceivedEvent().connectFunction(showDepthFrame);
  color.newSampleReceivedEvent().connectFunction(showColorFrame);
  context.registerNode(depth);
  context.startNodes();

  // Depth only: every poll returns q, and for ten frames the loop goes on.
  displayStandIn::scriptKeys(std::vector<int>(10, 'q'));
  scenario.at(std::chrono::seconds(2), [](Scenario&) { ViewerState.context.quit(); });
  const int depthShowsBefore = displayStandIn::showCount(kDepthWindowName);
  context.run();  // ended by the scheduled quit, not by q
  EXPECT_GE(displayStandIn::showCount(kDepthWindowName) - depthShowsBefore, 10);
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 0);

  // Now colour streams too: the next q that reaches the colour poll ends the loop.
  context.stopNodes();
  context.registerNode(color);
  context.startNodes();
  displayStandIn::scriptKeys(std::vector<int>(50, 'q'));
  scenario.clearCalls();
  context.run();
  const std::vector<std::string> calls = scenario.calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "Context::quit"), 1);
  EXPECT_EQ(displayStandIn::showCount(kColorWindowName), 1);
  context.stopNodes();
  ViewerState.context = CamSdk::Context();
}

}  // namespace
