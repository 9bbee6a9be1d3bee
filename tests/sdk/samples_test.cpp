// What a sample carries is what the viewer's handlers read without checking much: these tests
// pin hand-made samples (absent maps, other formats, short buffers) reaching the right
// handlers at the right moment, audio blocks at other settings, and pacing on the real clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SdkTestSupport.h"

namespace CamSdk {
namespace {

using testing::Scenario;

TEST(InjectedSamples, ReachEveryRegisteredContextBeforeSamplesOfTheSameInstant) {
  Scenario scenario = Scenario::fresh();
  Context first = Context::create("localhost");
  Context second = Context::create("localhost");
  Context bystander = Context::create("localhost");  // never registers the node
  std::vector<std::string> seen;
  for (Context* context : {&first, &second, &bystander}) {
    ColorNode color = sdktest::typedNode<ColorNode>(*context, "color0");
    const std::string who = context == &first ? "first" : context == &second ? "second" : "other";
    sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
        color.newSampleReceivedEvent(),
        [&seen, who, context](ColorNode source, ColorNode::NewSampleReceivedData data) {
          EXPECT_EQ(Node(source), sdktest::nodeNamed(*context, "color0"));
          seen.push_back(who + (data.colorMap.data() == nullptr ? " absent" : " ") +
                         std::to_string(data.colorMap.size()) + " #" +
                         std::to_string(data.sampleIndex));
          context->quit();
        });
    if (context != &bystander) {
      color.setEnableColorMap(true);
      context->registerNode(color);
    }
  }
  first.startNodes();

  ColorNode::NewSampleReceivedData absent{};
  absent.frameFormat = FRAME_FORMAT_VGA;
  absent.sampleIndex = 77;
  scenario.injectSample(scenario.findNode("color0"), absent);
  auto shortBuffer = std::make_shared<std::vector<std::uint8_t>>(100, 0x80);
  ColorNode::NewSampleReceivedData truncated{};
  truncated.colorMap = Pointer<std::uint8_t>(shortBuffer, shortBuffer->data(), shortBuffer->size());
  truncated.frameFormat = FRAME_FORMAT_VGA;
  truncated.sampleIndex = 78;
  scenario.injectSample(scenario.findNode("color0"), truncated);

  first.run();
  first.run();
  first.run();
  second.run();
  second.run();
  EXPECT_THROW(second.run(), TimeoutException);  // second never started its nodes
  EXPECT_EQ(seen, (std::vector<std::string>{"first absent0 #77", "first 100 #78", "first 614400 #0",
                                            "second absent0 #77", "second 100 #78"}));
  EXPECT_THROW(scenario.injectSample(scenario.findNode("depth0"), absent), ArgumentException);
}

TEST(RealClock, IndicesAndDroppedCountsAccountForEverySample) {
  Scenario scenario = Scenario::fresh(testing::Topology::OneCamera, /*virtualClock=*/false);
  Context context = Context::create("localhost");
  AudioNode audio = sdktest::typedNode<AudioNode>(context, "audio0");
  std::vector<std::int64_t> blocks;
  std::int64_t accounted = 0;
  sdktest::listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData data) {
        accounted += 1 + data.droppedSampleCount;
        blocks.push_back(data.sampleIndex / 882);
        if (blocks.size() == 3) context.quit();
      });
  context.registerNode(audio);
  context.startNodes();
  context.run();
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks.front(), 0);
  // Whatever the machine's pace, no block is delivered twice or lost without being counted.
  EXPECT_EQ(blocks.back() + 1, accounted);
  EXPECT_LT(blocks[0], blocks[1]);
  EXPECT_LT(blocks[1], blocks[2]);
}

}  // namespace
}  // namespace CamSdk
