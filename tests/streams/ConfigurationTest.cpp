// What each setup routine hands to the service: exactly the bytes it means to write, with
// every other byte of the record as the service gave it, and the steps in their order. A
// record rebuilt field by field, or written at a wrong offset, fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ViewerTestFixture.h"
#include "streams/ConfigurationBytes.h"
#include "streams/StreamSetup.h"
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

class ConfigurationTest : public ViewerTest {
 protected:
  void SetUp() override { openViewerContext(); }
  CamSdk::testing::NodeId idOf(const std::string& name) { return scenario().findNode(name); }
  std::vector<std::string> callsOn(const std::string& node) {
    std::vector<std::string> onNode;
    for (const std::string& entry : scenario().calls()) {
      if (entry.size() > node.size() &&
          entry.compare(entry.size() - node.size() - 1, std::string::npos, " " + node) == 0) {
        onNode.push_back(entry.substr(0, entry.size() - node.size() - 1));
      }
    }
    return onNode;
  }
};

TEST(ConfigurationBytesTest, WritingAFieldLeavesEveryOtherByteAlone) {
  CamSdk::DepthNode::Configuration record;
  fillWith(record, 0xA5);
  writeConfigurationBytes(record, 4, std::int32_t{25});
  writeConfigurationBytes(record, 12, std::uint8_t{1});
  EXPECT_EQ(bytesOf(record), (Bytes{0xA5, 0xA5, 0xA5, 0xA5, 25, 0, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5, 1,
                                    0xA5, 0xA5, 0xA5}));
}

TEST_F(ConfigurationTest, DepthRecordGetsItsFourFields) {
  CamSdk::DepthNode::Configuration defaults;
  fillWith(defaults, 0xA5);
  defaults.frameFormat = CamSdk::FRAME_FORMAT_QQVGA;
  defaults.framerate = 5;
  defaults.mode = CamSdk::DepthNode::CameraMode::Long;
  defaults.saturation = false;
  scenario().setDefaultConfiguration(idOf("depth0"), defaults);

  ViewerState.depthStream = firstDeviceNode("depth0").as<CamSdk::DepthNode>();
  scenario().clearCalls();
  setupDepthStream();

  // Bytes 13 to 15 are padding, which the simulated service does not keep in the records it
  // stores, so only the written bytes can be followed through it.
  Bytes accepted = scenario().lastConfigurationBytes(idOf("depth0"));
  ASSERT_EQ(accepted.size(), 16u);
  accepted.resize(13);
  EXPECT_EQ(accepted, (Bytes{4, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 1}));
  using Op = SdkOperation;
  const std::vector<Op> order{Op::NodeNewSampleReceivedEvent, Op::NodeGetConfiguration,
                              Op::DepthSetEnableVertices,     Op::DepthSetEnableDepthMap,
                              Op::ContextRequestControl,      Op::NodeSetConfiguration};
  EXPECT_EQ(callsOn("depth0"), operationNames(order));
}

TEST_F(ConfigurationTest, ColourRecordIsWrittenWhole) {
  CamSdk::ColorNode::Configuration defaults;
  fillWith(defaults, 0x5A);
  defaults.frameFormat = CamSdk::FRAME_FORMAT_QVGA;
  defaults.framerate = 10;
  defaults.powerLineFrequency = CamSdk::ColorNode::PowerLineFrequency::Hz60;
  defaults.compression = CamSdk::ColorNode::Compression::Yuy2;  // the only one it streams
  scenario().setDefaultConfiguration(idOf("color0"), defaults);

  ViewerState.colorStream = firstDeviceNode("color0").as<CamSdk::ColorNode>();
  scenario().clearCalls();
  setupColorStream();

  EXPECT_EQ(scenario().lastConfigurationBytes(idOf("color0")),
            (Bytes{7, 0, 0, 0, 25, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
  using Op = SdkOperation;
  const std::vector<Op> order{Op::NodeNewSampleReceivedEvent, Op::NodeGetConfiguration,
                              Op::ColorSetEnableColorMap, Op::ContextRequestControl,
                              Op::NodeSetConfiguration};
  EXPECT_EQ(callsOn("color0"), operationNames(order));
}

TEST_F(ConfigurationTest, AudioRecordKeepsItsFirstEightBytesAndSetsTheMixerLevel) {
  CamSdk::AudioNode::Configuration defaults;
  fillWith(defaults, 0x3C);
  defaults.audioFormat = CamSdk::AudioNode::AudioFormat::Pcm16;
  defaults.channels = 2;
  defaults.sampleRate = 16000;
  scenario().setDefaultConfiguration(idOf("audio0"), defaults);

  ViewerState.audioStream = firstDeviceNode("audio0").as<CamSdk::AudioNode>();
  scenario().clearCalls();
  setupAudioStream();

  Bytes expected = bytesOf(defaults);
  const std::int32_t rate = 44100;
  std::memcpy(expected.data() + 8, &rate, sizeof rate);
  EXPECT_EQ(scenario().lastConfigurationBytes(idOf("audio0")), expected);
  EXPECT_EQ(expected[4], 2);
  EXPECT_FLOAT_EQ(scenario().inputMixerLevel(idOf("audio0")), 0.5f);
  using Op = SdkOperation;
  const std::vector<Op> order{Op::NodeNewSampleReceivedEvent, Op::NodeGetConfiguration,
                              Op::ContextRequestControl, Op::NodeSetConfiguration,
                              Op::AudioSetInputMixerLevel};
  EXPECT_EQ(callsOn("audio0"), operationNames(order));
}

}  // namespace
}  // namespace viewerTest
