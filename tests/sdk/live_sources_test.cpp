// A live node (a capture device's) sends each frame it captured as a sample of its own kind:
// audio arrives as audio, with its rate, channels and position, not as a colour sample.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <vector>

#include "SdkTestSupport.h"
#include "service/CameraSource.h"
#include "service/Service.h"
#include "testing/ScenarioAccess.h"

namespace CamSdk {
namespace {

using sdktest::listen;

// A microphone that has captured one block of stereo audio whenever it is asked.
class CapturedAudio final : public detail::NodeSource {
 public:
  explicit CapturedAudio(std::vector<std::uint8_t> block)
      : block_(std::make_shared<std::vector<std::uint8_t>>(std::move(block))) {}

  long referencedBuffers() const override { return 0; }
  bool live() const override { return true; }

  std::optional<detail::CapturedSample> takeCaptured(bool) override {
    detail::CapturedSample sample;
    AudioNode::NewSampleReceivedData audio{};
    audio.sampleRate = 48000;
    audio.channels = 2;
    audio.sampleIndex = taken_ * 960;
    audio.audioData = Pointer<std::uint8_t>(block_, block_->data(), block_->size());
    sample.record = audio;
    ++taken_;
    return sample;
  }

 private:
  std::shared_ptr<std::vector<std::uint8_t>> block_;
  std::int64_t taken_ = 0;
};

TEST(LiveSources, CapturedAudioArrivesAsAudio) {
  testing::Scenario scenario = testing::Scenario::fresh(testing::Topology::Empty);
  const std::vector<std::uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 8};
  std::vector<detail::Service::SourcedNode> nodes;
  nodes.push_back({NodeKind::Audio, std::make_unique<CapturedAudio>(block)});
  detail::ScenarioAccess::serviceOf(scenario).addDevice("microphone", std::move(nodes));

  Context context = Context::create("localhost");
  AudioNode microphone = sdktest::typedNode<AudioNode>(context, "audio0");
  std::vector<AudioNode::NewSampleReceivedData> received;
  listen<AudioNode, AudioNode::NewSampleReceivedData>(
      microphone.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData data) {
        received.push_back(data);
        if (received.size() == 2) context.quit();
      });
  context.registerNode(microphone);
  context.startNodes();
  // A live node is not paced by the clock: timed actions give the service turns to take frames.
  for (int turn = 1; turn <= 4; ++turn) scenario.at(std::chrono::milliseconds(turn), [](auto&) {});
  context.run();

  ASSERT_EQ(received.size(), 2u);
  for (std::size_t i = 0; i < received.size(); ++i) {
    const AudioNode::NewSampleReceivedData& data = received[i];
    EXPECT_EQ(data.sampleRate, 48000);
    EXPECT_EQ(data.channels, 2);
    EXPECT_EQ(data.sampleIndex, static_cast<std::int64_t>(i) * 960);
    ASSERT_EQ(data.audioData.size(), block.size());
    EXPECT_EQ(std::vector<std::uint8_t>(data.audioData.data(), data.audioData.data() + 8), block);
  }
  context.stopNodes();
}

}  // namespace
}  // namespace CamSdk
