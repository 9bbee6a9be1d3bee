// The event loop decides when and in what order the program's handlers run. These tests run
// it on the virtual clock and check what the loop promises: timing without drift, the order
// of events at one instant, quit, exceptions carried out of run(), and the end of the events.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

#include "SdkTestSupport.h"
#include "service/SampleTimeline.h"
#include "service/StreamCursor.h"

namespace CamSdk {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;
using std::chrono::seconds;
using testing::Scenario;

class EventLoop : public sdktest::OneCameraTest {
 protected:
  std::vector<std::string> seen;

  void recordColor() {
    sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
        color.newSampleReceivedEvent(), [this](ColorNode, ColorNode::NewSampleReceivedData data) {
          seen.push_back("color " + std::to_string(data.sampleIndex) + " @" +
                         std::to_string(data.timeOfCapture));
        });
  }
  void recordDepth() {
    sdktest::listen<DepthNode, DepthNode::NewSampleReceivedData>(
        depth.newSampleReceivedEvent(), [this](DepthNode, DepthNode::NewSampleReceivedData data) {
          seen.push_back("depth " + std::to_string(data.sampleIndex) + " @" +
                         std::to_string(data.timeOfCapture));
        });
  }
};

TEST_F(EventLoop, ColourStreamsTwentyFiveFullFramesPerSecond) {
  std::vector<std::int64_t> times;
  std::vector<std::size_t> sizes;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        times.push_back(data.timeOfCapture);
        sizes.push_back(data.colorMap.size());
        EXPECT_EQ(data.frameFormat, FRAME_FORMAT_VGA);
        EXPECT_EQ(data.droppedSampleCount, 0);
        EXPECT_EQ(scenario.now(), microseconds(data.timeOfCapture));
      });
  color.setEnableColorMap(true);
  context.registerNode(color);
  context.startNodes();
  sdktest::quitAt(scenario, context, seconds(1) - nanoseconds(1));
  context.run();

  ASSERT_EQ(times.size(), 25u);
  for (std::size_t i = 0; i < times.size(); ++i) {
    EXPECT_EQ(times[i], static_cast<std::int64_t>(i) * 40000);
    EXPECT_EQ(sizes[i], 614400u);
  }
  EXPECT_EQ(scenario.samplesDelivered(scenario.findNode("color0")), 25);
}

TEST_F(EventLoop, SamplesMatchTheScene) {
  std::vector<std::uint8_t> second;
  std::vector<short> depthMap;
  std::size_t vertexCount = 0;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        if (data.sampleIndex != 1) return;
        second.assign(data.colorMap.data(), data.colorMap.data() + data.colorMap.size());
      });
  sdktest::listen<DepthNode, DepthNode::NewSampleReceivedData>(
      depth.newSampleReceivedEvent(), [&](DepthNode, DepthNode::NewSampleReceivedData data) {
        if (data.sampleIndex != 1) return;
        depthMap.assign(data.depthMap.data(), data.depthMap.data() + data.depthMap.size());
        vertexCount = data.vertices.size();
        EXPECT_EQ(data.confidenceMap.data(), nullptr);
        EXPECT_EQ(data.frameFormat, FRAME_FORMAT_QVGA);
        // A vertex lies along its pixel's ray at the pixel's depth.
        for (std::size_t i = 0; i < data.depthMap.size(); ++i) {
          if (data.vertices.data()[i].z != data.depthMap.data()[i]) {
            ADD_FAILURE() << "vertex " << i;
            break;
          }
        }
      });
  color.setEnableColorMap(true);
  depth.setEnableDepthMap(true);
  depth.setEnableVertices(true);
  context.registerNode(color);
  context.registerNode(depth);
  context.startNodes();
  sdktest::quitAt(scenario, context, milliseconds(50));
  context.run();
  EXPECT_EQ(second, Scenario::colorScene(FRAME_FORMAT_VGA, 1));
  EXPECT_EQ(depthMap, Scenario::depthScene(FRAME_FORMAT_QVGA, 1));
  EXPECT_EQ(vertexCount, 320u * 240u);
}

TEST_F(EventLoop, OnlyNodesWithAnEnabledMapStream) {
  recordColor();
  recordDepth();
  context.registerNode(color);
  context.registerNode(depth);
  context.startNodes();
  EXPECT_THROW(context.run(), TimeoutException);  // nothing enabled: nothing will ever come
  EXPECT_TRUE(seen.empty());

  depth.setEnableVertices(true);  // vertices alone are enough
  sdktest::quitAt(scenario, context, milliseconds(10));
  context.run();
  EXPECT_EQ(seen, std::vector<std::string>{"depth 0 @0"});
}

TEST_F(EventLoop, TiesGoToActionsThenHotPlugThenSamplesInRegistrationOrder) {
  recordColor();
  recordDepth();
  sdktest::listen<Device, Device::NodeRemovedData>(sdktest::firstDevice(context).nodeRemovedEvent(),
                                                   [this](Device, Device::NodeRemovedData data) {
                                                     seen.push_back("removed " + data.node.name());
                                                   });
  color.setEnableColorMap(true);
  depth.setEnableDepthMap(true);
  context.registerNode(depth);  // registered first, so first at every shared instant
  context.registerNode(color);
  context.startNodes();
  scenario.at(milliseconds(40), [this](Scenario& s) {
    seen.push_back("action");
    s.unplugNode(s.findNode("audio0"));
  });
  sdktest::quitAt(scenario, context, milliseconds(41));
  context.run();
  EXPECT_EQ(seen, (std::vector<std::string>{"depth 0 @0", "color 0 @0", "action", "removed audio0",
                                            "depth 1 @40000", "color 1 @40000"}));
}

TEST_F(EventLoop, DifferentRatesInterleaveByTime) {
  recordColor();
  recordDepth();
  context.requestControl(color, 0);
  ColorNode::Configuration c = color.getConfiguration();
  c.framerate = 30;
  color.setConfiguration(c);
  color.setEnableColorMap(true);
  depth.setEnableDepthMap(true);
  context.registerNode(color);
  context.registerNode(depth);
  context.startNodes();
  sdktest::quitAt(scenario, context, milliseconds(81));
  context.run();
  // 30 fps: 0, 33333, 66666 us (integer nanoseconds, truncated); 25 fps: 0, 40000, 80000 us.
  EXPECT_EQ(seen, (std::vector<std::string>{"color 0 @0", "depth 0 @0", "color 1 @33333",
                                            "depth 1 @40000", "color 2 @66666", "depth 2 @80000"}));
}

TEST_F(EventLoop, QuitReturnsAfterTheHandlerAndTheNextRunGoesOn) {
  std::vector<std::int64_t> indices;
  sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData data) {
        indices.push_back(data.sampleIndex);
        EXPECT_EQ(data.audioData.size(), 882u * 2u);  // 20 ms of 44.1 kHz mono, 16 bit
        context.quit();
        indices.push_back(-1);  // the handler runs to its end after quit()
      });
  context.registerNode(audio);
  context.startNodes();
  context.run();
  context.run();
  EXPECT_EQ(indices, (std::vector<std::int64_t>{0, -1, 882, -1}));
  EXPECT_EQ(scenario.now(), milliseconds(20));
}

TEST_F(EventLoop, QuitBeforeRunMakesItReturnAtOnce) {
  context.registerNode(audio);
  context.startNodes();
  context.quit();
  context.run();
  EXPECT_EQ(scenario.samplesDelivered(scenario.findNode("audio0")), 0);
}

TEST_F(EventLoop, AnExceptionFromAHandlerLeavesRunAndTheLoopStaysUsable) {
  int calls = 0;
  sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData data) {
        ++calls;
        if (data.sampleIndex == 0) throw std::runtime_error("handler failed");
        context.quit();
      });
  context.registerNode(audio);
  context.startNodes();
  try {
    context.run();
    ADD_FAILURE() << "run() swallowed the exception";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "handler failed");
  }
  context.run();  // the failed sample is not delivered again
  EXPECT_EQ(calls, 2);
}

TEST_F(EventLoop, RunInsideAHandlerIsRefused) {
  bool refused = false;
  sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData) {
        EXPECT_THROW(context.run(), InvalidOperationException);
        refused = true;
        context.quit();
      });
  context.registerNode(audio);
  context.startNodes();
  context.run();
  EXPECT_TRUE(refused);
}

TEST_F(EventLoop, StoppedNodesStayQuietAndRestartFromSampleZero) {
  recordColor();
  color.setEnableColorMap(true);
  context.registerNode(color);
  EXPECT_THROW(context.run(), TimeoutException);  // not started
  context.startNodes();
  sdktest::quitAt(scenario, context, milliseconds(50));
  context.run();
  context.stopNodes();
  EXPECT_THROW(context.run(), TimeoutException);
  context.startNodes();
  sdktest::quitAt(scenario, context, milliseconds(51));
  context.run();
  EXPECT_EQ(seen, (std::vector<std::string>{"color 0 @0", "color 1 @40000", "color 0 @50000"}));
}

TEST_F(EventLoop, ANodeRegisteredWhileRunningStreamsAtOnce) {
  recordColor();
  recordDepth();
  color.setEnableColorMap(true);
  depth.setEnableDepthMap(true);
  context.registerNode(color);
  context.startNodes();
  scenario.at(milliseconds(10), [this](Scenario&) { context.registerNode(depth); });
  sdktest::quitAt(scenario, context, milliseconds(45));
  context.run();
  EXPECT_EQ(seen, (std::vector<std::string>{"color 0 @0", "depth 0 @10000", "color 1 @40000"}));
}

TEST(StreamCursor, DueTimesDoNotDriftAndALateStreamSkipsAhead) {
  detail::StreamCursor cursor;
  cursor.arm(nanoseconds(0), 30);
  // Computed from the start each time: the 30th sample of a 30 fps stream is at exactly 1 s.
  EXPECT_EQ(cursor.due(30), seconds(1));
  EXPECT_EQ(cursor.due(3000), seconds(100));
  EXPECT_EQ(cursor.due(1), nanoseconds(33333333));

  std::int32_t skipped = -1;
  EXPECT_EQ(cursor.take(nanoseconds(0), &skipped), 0);
  EXPECT_EQ(skipped, 0);
  // At 0.2 s samples 1 to 6 are due; only the newest is taken.
  EXPECT_EQ(cursor.take(milliseconds(200), &skipped), 6);
  EXPECT_EQ(skipped, 5);
  EXPECT_EQ(cursor.nextDue(), nanoseconds(233333333));
  // Taken early (before its time), the next sample is still the next one.
  EXPECT_EQ(cursor.take(milliseconds(201), &skipped), 7);
  EXPECT_EQ(skipped, 0);

  // A new rate keeps the next due time and paces from there.
  cursor.retime(10);
  EXPECT_EQ(cursor.nextDue(), nanoseconds(266666666));
  EXPECT_EQ(cursor.due(9), nanoseconds(366666666));
}

TEST(StreamCursor, OnATimelineEverySampleIsTakenInTurnAndALateStreamCatchesUpAtTwiceThePace) {
  // Samples 0 to 9 every 10 ms; 0 and 1 are no longer held.
  struct Recorded final : detail::SampleTimeline {
    std::int64_t firstAtOrAfter(nanoseconds) override { return 0; }
    nanoseconds due(std::int64_t index) override {
      if (index < 2) return nanoseconds::min();
      return index < 10 ? milliseconds(10 * index) : nanoseconds::max();
    }
  } timeline;
  detail::StreamCursor cursor;
  cursor.follow(timeline, nanoseconds(0));
  std::int32_t skipped = -1;
  EXPECT_EQ(cursor.take(milliseconds(50), &skipped), 2);
  EXPECT_EQ(skipped, 2);
  // Late, and still the next one: nothing recorded is skipped to catch up. The late samples
  // leave at twice their pace (every 5 ms instead of 10) until the stream is on time again.
  std::vector<std::int64_t> leaving;
  for (int i = 0; i < 6; ++i) {
    const nanoseconds when = cursor.nextDue();
    leaving.push_back(when / milliseconds(1));
    EXPECT_EQ(cursor.take(when, &skipped), 3 + i);
    EXPECT_EQ(skipped, 0);
  }
  EXPECT_EQ(leaving, (std::vector<std::int64_t>{55, 60, 65, 70, 75, 80}));
  EXPECT_EQ(cursor.nextDue(), milliseconds(90));
}

TEST(StreamCursor, OnATimelineASampleNotReadYetIsNotDueThoughThoseBeforeItAreGone) {
  // The stream fell so far behind that samples 0 to 4 are gone, and 5 is not read yet.
  struct Behind final : detail::SampleTimeline {
    std::int64_t firstAtOrAfter(nanoseconds) override { return 0; }
    nanoseconds due(std::int64_t index) override {
      return index < 5 ? nanoseconds::min() : milliseconds(100);
    }
  } timeline;
  detail::StreamCursor cursor;
  cursor.follow(timeline, nanoseconds(0));
  EXPECT_EQ(cursor.nextDue(), milliseconds(100));
  std::int32_t skipped = -1;
  EXPECT_EQ(cursor.take(milliseconds(100), &skipped), 5);
  EXPECT_EQ(skipped, 5);
}

}  // namespace
}  // namespace CamSdk
