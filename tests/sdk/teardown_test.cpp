// The program keeps its handles in a global record destroyed after main returns, in an
// order it does not choose. Whatever the order, teardown must neither crash nor leak (the
// sanitizer build runs these), and sample buffers must be reused rather than piling up.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "SdkTestSupport.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace {

using std::chrono::milliseconds;
using testing::Scenario;

struct Streams {
  Context context;
  DepthNode depth;
  ColorNode color;
  AudioNode audio;
};

// A context streaming all three nodes for a moment, with a handler on each node.
std::unique_ptr<Streams> streamAWhile(Scenario& scenario) {
  auto streams = std::make_unique<Streams>();
  streams->context = Context::create("localhost");
  streams->depth = sdktest::typedNode<DepthNode>(streams->context, "depth0");
  streams->color = sdktest::typedNode<ColorNode>(streams->context, "color0");
  streams->audio = sdktest::typedNode<AudioNode>(streams->context, "audio0");
  sdktest::listen<DepthNode, DepthNode::NewSampleReceivedData>(
      streams->depth.newSampleReceivedEvent(), [](DepthNode, DepthNode::NewSampleReceivedData) {});
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      streams->color.newSampleReceivedEvent(), [](ColorNode, ColorNode::NewSampleReceivedData) {});
  streams->depth.setEnableDepthMap(true);
  streams->color.setEnableColorMap(true);
  for (Node node : {Node(streams->depth), Node(streams->color), Node(streams->audio)}) {
    streams->context.registerNode(node);
    streams->context.requestControl(node, 0);
  }
  streams->context.startNodes();
  sdktest::quitAt(scenario, streams->context, milliseconds(100));
  streams->context.run();
  return streams;
}

TEST(Teardown, ContextFirstOrNodesFirstLeavesNothingBehind) {
  const long handlersBefore = detail::EventAccess::liveHandlers();
  for (bool contextFirst : {true, false}) {
    {
      Scenario scenario = Scenario::fresh();
      std::unique_ptr<Streams> streams = streamAWhile(scenario);
      if (contextFirst) {
        streams->context = Context();
        // Nodes outlive their context: readable, but no longer in anyone's control.
        EXPECT_EQ(streams->color.getConfiguration().framerate, 25);
        EXPECT_THROW(streams->color.setConfiguration(streams->color.getConfiguration()),
                     InvalidOperationException);
      } else {
        streams->audio = AudioNode();
        streams->color = ColorNode();
        streams->depth = DepthNode();
      }
      streams.reset();
    }
    EXPECT_EQ(detail::EventAccess::liveHandlers(), handlersBefore)
        << "context first: " << contextFirst;
  }
}

TEST(Teardown, TheServiceLivesWhileAnyHandleNeedsIt) {
  Context context;
  ColorNode color;
  {
    Scenario scenario = Scenario::fresh();
    context = Context::create("localhost");
    color = sdktest::typedNode<ColorNode>(context, "color0");
  }
  // The scenario is gone; the context still talks to its service.
  context.requestControl(color, 0);
  context = Context();
  EXPECT_EQ(color.name(), "color0");
  EXPECT_EQ(color.getConfiguration().frameFormat, FRAME_FORMAT_VGA);
}

TEST(Teardown, SampleBuffersAreReusedAndReleased) {
  Scenario scenario = Scenario::fresh();
  Context context = Context::create("localhost");
  ColorNode color = sdktest::typedNode<ColorNode>(context, "color0");
  std::vector<const std::uint8_t*> addresses;
  std::vector<Pointer<std::uint8_t>> kept;
  long liveInHandler = -1;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        addresses.push_back(data.colorMap.data());
        if (data.sampleIndex == 5) liveInHandler = scenario.liveBuffers();
        if (data.sampleIndex == 10) kept.push_back(data.colorMap);
      });
  color.setEnableColorMap(true);
  context.registerNode(color);
  context.startNodes();
  sdktest::quitAt(scenario, context, milliseconds(990));
  context.run();

  ASSERT_EQ(addresses.size(), 25u);
  EXPECT_EQ(liveInHandler, 1);  // the sample in hand
  // Once the handler lets go, the same buffer comes back; a kept sample gets its own.
  EXPECT_EQ(addresses[1], addresses[0]);
  EXPECT_EQ(addresses[10], addresses[0]);
  EXPECT_NE(addresses[11], addresses[10]);
  EXPECT_EQ(addresses[12], addresses[11]);
  EXPECT_EQ(scenario.liveBuffers(), 1);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(std::vector<std::uint8_t>(kept[0].data(), kept[0].data() + kept[0].size()),
            Scenario::colorScene(FRAME_FORMAT_VGA, 10));
  kept.clear();
  EXPECT_EQ(scenario.liveBuffers(), 0);
}

}  // namespace
}  // namespace CamSdk
