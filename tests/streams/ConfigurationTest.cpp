// What each setup routine hands to the service: exactly the bytes it means to write, with
// every other byte of the record as the service gave it. A record rebuilt field by field, or
// written at a wrong offset, fails here. (The order of the routines' calls is followed in the
// viewer's lifecycle test.)
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "ViewerTestFixture.h"
#include "streams/ConfigurationBytes.h"
#include "streams/StreamSetup.h"
#include "viewer/FrameHandlers.h"
#include "viewer/ViewerState.h"

namespace viewerTest {
namespace {

using Bytes = std::vector<std::uint8_t>;

template <class Record>
Bytes bytesOf(const Record& record) {
  Bytes bytes(sizeof(Record));
  std::memcpy(bytes.data(), &record, sizeof(Record));
  return bytes;
}

// Fills every byte of `record`, padding included, with `pattern`. It fills in place: a record
// returned by value may be rebuilt field by field, and its padding lost.
template <class Record>
void fillWith(Record& record, std::uint8_t pattern) {
  std::memset(static_cast<void*>(&record), pattern, sizeof(Record));
}

TEST(ConfigurationBytesTest, WritingAFieldLeavesEveryOtherByteAlone) {
  CamSdk::DepthNode::Configuration record;
  fillWith(record, 0xA5);
  writeConfigurationBytes(record, 4, std::int32_t{25});
  writeConfigurationBytes(record, 12, std::uint8_t{1});
  EXPECT_EQ(bytesOf(record), (Bytes{0xA5, 0xA5, 0xA5, 0xA5, 25, 0, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5, 1,
                                    0xA5, 0xA5, 0xA5}));
}

class ConfigurationTest : public ViewerTest {
 protected:
  void SetUp() override { openViewerContext(); }
  Bytes accepted(const char* node) {
    return scenario().lastConfigurationBytes(scenario().findNode(node));
  }
};

TEST_F(ConfigurationTest, DepthRecordGetsItsFourFields) {
  CamSdk::DepthNode::Configuration defaults;
  fillWith(defaults, 0xA5);
  defaults.frameFormat = CamSdk::FRAME_FORMAT_QQVGA;
  defaults.framerate = 5;
  defaults.mode = CamSdk::DepthNode::CameraMode::Long;
  defaults.saturation = false;
  scenario().setDefaultConfiguration(scenario().findNode("depth0"), defaults);

  ViewerState.depthStream = firstDeviceNode("depth0").as<CamSdk::DepthNode>();
  setupDepthStream(ViewerState.context, ViewerState.depthStream, showDepthFrame);

  // Bytes 13 to 15 are padding, and the language lets any copy of the record on its way
  // (returns, by-value arguments) drop them; instrumented builds do. So only the written
  // bytes are followed through the service; the byte writer's own test covers the rest.
  Bytes written = accepted("depth0");
  ASSERT_EQ(written.size(), 16u);
  written.resize(13);
  EXPECT_EQ(written, (Bytes{4, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 1}));
}

TEST_F(ConfigurationTest, ColourRecordIsWrittenWhole) {
  CamSdk::ColorNode::Configuration defaults;
  defaults.frameFormat = CamSdk::FRAME_FORMAT_QVGA;
  defaults.framerate = 10;
  defaults.powerLineFrequency = CamSdk::ColorNode::PowerLineFrequency::Hz60;
  defaults.compression = CamSdk::ColorNode::Compression::Yuy2;  // the only one it streams
  scenario().setDefaultConfiguration(scenario().findNode("color0"), defaults);

  ViewerState.colorStream = firstDeviceNode("color0").as<CamSdk::ColorNode>();
  setupColorStream(ViewerState.context, ViewerState.colorStream, showColorFrame);

  EXPECT_EQ(accepted("color0"), (Bytes{7, 0, 0, 0, 25, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(ConfigurationTest, AudioRecordKeepsItsFirstEightBytesAndSetsTheMixerLevel) {
  CamSdk::AudioNode::Configuration defaults;
  defaults.audioFormat = CamSdk::AudioNode::AudioFormat::Pcm16;
  defaults.channels = 2;
  defaults.sampleRate = 16000;
  scenario().setDefaultConfiguration(scenario().findNode("audio0"), defaults);

  ViewerState.audioStream = firstDeviceNode("audio0").as<CamSdk::AudioNode>();
  setupAudioStream(ViewerState.context, ViewerState.audioStream, dropAudioSample);

  EXPECT_EQ(accepted("audio0"),
            (Bytes{0, 0, 0, 0, 2, 0, 0, 0, 0x44, 0xAC, 0, 0}));  // 44100 = 0xAC44
  EXPECT_FLOAT_EQ(scenario().inputMixerLevel(scenario().findNode("audio0")), 0.5f);
}

}  // namespace
}  // namespace viewerTest
