// Node configuration is where the program and the service must agree byte for byte: the
// values the viewer writes must be accepted and stored as given, bad values refused with the
// SDK's ConfigurationException, and control must be exclusive to one client at a time.
#include <gtest/gtest.h>

#include <cstring>

#include "SdkTestSupport.h"

namespace CamSdk {
namespace {

using testing::Scenario;

class Configuration : public sdktest::OneCameraTest {
 protected:
  void controlAll() {
    context.requestControl(depth, 0);
    context.requestControl(color, 0);
    context.requestControl(audio, 0);
  }
};

TEST_F(Configuration, DefaultsBeforeAnyoneConfigures) {
  const DepthNode::Configuration d = depth.getConfiguration();
  EXPECT_EQ(d.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(d.framerate, 25);
  const ColorNode::Configuration c = color.getConfiguration();
  EXPECT_EQ(c.frameFormat, FRAME_FORMAT_VGA);
  EXPECT_EQ(c.framerate, 25);
  const AudioNode::Configuration a = audio.getConfiguration();
  EXPECT_EQ(a.audioFormat, AudioNode::AudioFormat::Pcm16);
  EXPECT_EQ(a.channels, 1);
  EXPECT_EQ(a.sampleRate, 44100);
  EXPECT_TRUE(scenario.lastConfigurationBytes(scenario.findNode("color0")).empty());
}

TEST_F(Configuration, TheViewersValuesAreAcceptedAndStoredByteForByte) {
  controlAll();
  DepthNode::Configuration d = depth.getConfiguration();
  d.frameFormat = static_cast<FrameFormat>(4);
  d.framerate = 25;
  d.mode = static_cast<DepthNode::CameraMode>(0);
  d.saturation = true;
  depth.setConfiguration(d);

  ColorNode::Configuration c = color.getConfiguration();
  c.frameFormat = static_cast<FrameFormat>(7);
  c.framerate = 25;
  c.powerLineFrequency = static_cast<ColorNode::PowerLineFrequency>(1);
  c.compression = static_cast<ColorNode::Compression>(0);
  color.setConfiguration(c);

  AudioNode::Configuration a = audio.getConfiguration();
  a.sampleRate = 44100;
  audio.setConfiguration(a);
  audio.setInputMixerLevel(0.5f);

  const std::vector<std::uint8_t> colorBytes =
      scenario.lastConfigurationBytes(scenario.findNode("color0"));
  ASSERT_EQ(colorBytes.size(), 16u);
  EXPECT_EQ(std::memcmp(colorBytes.data(), &c, sizeof c), 0);
  const std::vector<std::uint8_t> audioBytes =
      scenario.lastConfigurationBytes(scenario.findNode("audio0"));
  ASSERT_EQ(audioBytes.size(), 12u);
  EXPECT_EQ(std::memcmp(audioBytes.data(), &a, sizeof a), 0);
  const std::vector<std::uint8_t> depthBytes =
      scenario.lastConfigurationBytes(scenario.findNode("depth0"));
  ASSERT_EQ(depthBytes.size(), 16u);
  EXPECT_EQ(depthBytes[0], 4);
  EXPECT_EQ(depthBytes[4], 25);
  EXPECT_EQ(depthBytes[12], 1);
  EXPECT_FLOAT_EQ(scenario.inputMixerLevel(scenario.findNode("audio0")), 0.5f);
  EXPECT_EQ(color.getConfiguration().powerLineFrequency, ColorNode::PowerLineFrequency::Hz50);
}

TEST_F(Configuration, ControlIsExclusiveAndGoesWithItsContext) {
  context.requestControl(color, 0);
  context.requestControl(color, 0);  // asking again for what one holds is fine
  {
    Context second = Context::create("localhost");
    ColorNode secondColor = sdktest::typedNode<ColorNode>(second, "color0");
    try {
      second.requestControl(secondColor, 0);
      ADD_FAILURE() << "control given twice";
    } catch (const UnauthorizedAccessException& refused) {
      EXPECT_NE(std::string(refused.what()).find("color0"), std::string::npos);
      EXPECT_NE(std::string(refused.what()).find("context"), std::string::npos) << refused.what();
    }
    // Other nodes are free, and the configuration seen is shared.
    second.requestControl(sdktest::nodeNamed(second, "depth0"), 0);
    EXPECT_THROW(context.requestControl(depth, 0), UnauthorizedAccessException);
    ColorNode::Configuration c = color.getConfiguration();
    c.framerate = 15;
    color.setConfiguration(c);
    EXPECT_EQ(secondColor.getConfiguration().framerate, 15);
  }
  // The second context is gone and with it its control of depth0.
  context.requestControl(depth, 0);
}

TEST_F(Configuration, ScenarioDefaultsAreCheckedAndUsed) {
  const testing::NodeId colorId = scenario.findNode("color0");
  ColorNode::Configuration c = color.getConfiguration();
  c.frameFormat = FRAME_FORMAT_QVGA;
  c.framerate = 15;
  scenario.setDefaultConfiguration(colorId, c);
  EXPECT_EQ(color.getConfiguration().frameFormat, FRAME_FORMAT_QVGA);
  c.framerate = 0;
  EXPECT_THROW(scenario.setDefaultConfiguration(colorId, c), ArgumentException);
  c.framerate = 15;
  EXPECT_THROW(scenario.setDefaultConfiguration(scenario.findNode("depth0"), c), ArgumentException);
}

}  // namespace
}  // namespace CamSdk
