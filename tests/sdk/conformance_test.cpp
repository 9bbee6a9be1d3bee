// The SDK's behaviour as programs meet it, from one source over both transports: a service in
// this process (on a virtual clock, as the unit tests use it) and one served over ZeroMQ from a
// thread of its own (on the real clock, as camsdk-service serves programs). The ZeroMQ service
// runs in its own thread, so a test touches it only before it is served and through timed
// actions, which run in that thread; the loop is left from handlers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "SdkTestSupport.h"
#include "server/ServiceServer.h"
#include "testing/ScenarioAccess.h"

namespace CamSdk {
namespace {

using namespace std::chrono_literals;
using sdktest::listen;
using sdktest::typedNode;
using testing::Scenario;

struct InProcess {
  static Scenario fresh() { return Scenario::fresh(testing::Topology::OneCamera, true); }
  void serve(Scenario&) {}
};

class OverZeroMq {
 public:
  // Under a host name of its own, so that Context::create("localhost") reaches it over ZeroMQ.
  static Scenario fresh() {
    return Scenario::fresh(testing::Topology::OneCamera, false, "conformance");
  }
  void serve(Scenario& scenario) {
    server::ServerOptions options;
    options.endpoint = "tcp://127.0.0.1:*";
    server_ = std::make_unique<server::ServiceServer>(detail::ScenarioAccess::serviceOf(scenario),
                                                      options);
    setenv("CAMSDK_ENDPOINT", server_->boundEndpoint().c_str(), 1);
    thread_ = std::thread([this] { server_->run(stop_); });
  }
  ~OverZeroMq() {
    if (!server_) return;
    stop_ = true;
    thread_.join();
    unsetenv("CAMSDK_ENDPOINT");
  }

 private:
  std::unique_ptr<server::ServiceServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

template <class Transport>
class Conformance : public ::testing::Test {
 protected:
  // Prepares the service (faults, timed actions), serves it, and opens a context on it.
  Context& open(const std::function<void(Scenario&)>& prepare = {}) {
    if (prepare) prepare(scenario_);
    transport_.serve(scenario_);
    context_ = Context::create("localhost");
    return context_;
  }

  // Members go in reverse order: the context before the service stops being served.
  Scenario scenario_ = Transport::fresh();
  Transport transport_;
  Context context_;
};

using Transports = ::testing::Types<InProcess, OverZeroMq>;
class TransportNames {
 public:
  template <class T>
  static std::string GetName(int) {
    return std::is_same<T, InProcess>::value ? "InProcess" : "ZeroMq";
  }
};
TYPED_TEST_SUITE(Conformance, Transports, TransportNames);

TYPED_TEST(Conformance, SamplesComeInOrderWithTheMapsAsked) {
  Context& context = this->open();
  ColorNode color = typedNode<ColorNode>(context, "color0");
  std::vector<ColorNode::NewSampleReceivedData> samples;
  listen<ColorNode, ColorNode::NewSampleReceivedData>(
      color.newSampleReceivedEvent(), [&](ColorNode, ColorNode::NewSampleReceivedData data) {
        samples.push_back(data);
        if (samples.size() == 3) context.quit();
      });
  color.setEnableColorMap(true);
  context.registerNode(color);
  context.startNodes();
  context.run();
  context.stopNodes();

  ASSERT_EQ(samples.size(), 3u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    EXPECT_EQ(samples[i].frameFormat, FRAME_FORMAT_VGA);
    EXPECT_EQ(samples[i].colorMap.size(), std::size_t{640 * 480 * 2});
    if (i > 0) {
      // A slow loop may miss samples; those missed are counted, never reordered.
      EXPECT_EQ(samples[i].sampleIndex,
                samples[i - 1].sampleIndex + 1 + samples[i].droppedSampleCount);
      EXPECT_GT(samples[i].timeOfCapture, samples[i - 1].timeOfCapture);
    }
  }
}

TYPED_TEST(Conformance, ControlIsExclusiveUntilReleased) {
  Context& first = this->open();
  Context second = Context::create("localhost");
  const Node inFirst = sdktest::nodeNamed(first, "color0");
  const Node inSecond = sdktest::nodeNamed(second, "color0");
  first.requestControl(inFirst, 0);
  EXPECT_THROW(second.requestControl(inSecond, 0), UnauthorizedAccessException);
  first.releaseControl(inFirst);
  EXPECT_NO_THROW(second.requestControl(inSecond, 0));
}

// A record comes back byte for byte, padding included; values a node cannot do are refused
// with ConfigurationException and leave the record as it was.
TYPED_TEST(Conformance, ConfigurationComesBackByteForByteAndBadValuesAreRefused) {
  Context& context = this->open();
  DepthNode depth = typedNode<DepthNode>(context, "depth0");
  ColorNode color = typedNode<ColorNode>(context, "color0");
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  for (const Node& node : {Node(depth), Node(color), Node(audio)}) context.requestControl(node, 0);

  DepthNode::Configuration wanted = depth.getConfiguration();
  std::memset(&wanted, 0x5a, sizeof wanted);  // the padding after `saturation` too
  wanted.frameFormat = FRAME_FORMAT_QQVGA;
  wanted.framerate = 60;
  wanted.mode = DepthNode::CameraMode::Long;
  wanted.saturation = false;
  depth.setConfiguration(wanted);
  const DepthNode::Configuration read = depth.getConfiguration();
  EXPECT_EQ(std::memcmp(&read, &wanted, sizeof read), 0) << "the record changed on its way";

  auto refused = [](auto node, auto change) {
    auto configuration = node.getConfiguration();
    change(configuration);
    EXPECT_THROW(node.setConfiguration(configuration), ConfigurationException);
  };
  refused(depth, [](auto& d) { d.frameFormat = static_cast<FrameFormat>(0); });
  refused(depth, [](auto& d) { d.frameFormat = static_cast<FrameFormat>(99); });
  refused(depth, [](auto& d) { d.frameFormat = FRAME_FORMAT_HD; });  // beyond the depth sensor
  refused(depth, [](auto& d) { d.framerate = 0; });
  refused(depth, [](auto& d) { d.framerate = 61; });
  refused(depth, [](auto& d) { d.mode = static_cast<DepthNode::CameraMode>(2); });
  refused(depth, [](auto& d) {
    const unsigned char notABool = 7;
    std::memcpy(reinterpret_cast<unsigned char*>(&d) + 12, &notABool, 1);
  });
  refused(color, [](auto& c) { c.framerate = 31; });
  refused(color,
          [](auto& c) { c.powerLineFrequency = static_cast<ColorNode::PowerLineFrequency>(3); });
  refused(color, [](auto& c) { c.compression = ColorNode::Compression::Mjpeg; });
  refused(audio, [](auto& a) { a.sampleRate = 44000; });
  refused(audio, [](auto& a) { a.channels = 0; });
  EXPECT_THROW(audio.setInputMixerLevel(1.5f), ArgumentException);

  EXPECT_EQ(depth.getConfiguration().framerate, 60) << "a refused configuration was kept";
  EXPECT_EQ(color.getConfiguration().framerate, 25);
}

TYPED_TEST(Conformance, ConfiguringNeedsControlAndControlHeldElsewhereNamesTheHolder) {
  Context& context = this->open([](Scenario& scenario) {
    scenario.holdControlElsewhere(scenario.findNode("depth0"), "recorder app");
  });
  ColorNode color = typedNode<ColorNode>(context, "color0");
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  const ColorNode::Configuration c = color.getConfiguration();
  EXPECT_THROW(color.setConfiguration(c), InvalidOperationException);
  context.requestControl(color, 0);
  color.setConfiguration(c);
  context.releaseControl(color);
  EXPECT_THROW(color.setConfiguration(c), InvalidOperationException);
  EXPECT_THROW(context.requestControl(color, -1), ArgumentException);
  // The mixer level is heard by every client of the node: it needs control too.
  EXPECT_THROW(audio.setInputMixerLevel(0.25f), InvalidOperationException);
  context.requestControl(audio, 0);
  audio.setInputMixerLevel(0.25f);

  try {
    context.requestControl(sdktest::nodeNamed(context, "depth0"), 0);
    ADD_FAILURE() << "control given while held elsewhere";
  } catch (const UnauthorizedAccessException& refused) {
    EXPECT_NE(std::string(refused.what()).find("recorder app"), std::string::npos);
  }
}

// A node pulled out is heard of at once; while it is gone it can still be read but not
// configured, and the control it had goes with it. Plugged back, it is a new node.
TYPED_TEST(Conformance, AnUnpluggedNodeIsRemovedAndComesBackAsANewNode) {
  Context& context = this->open([](Scenario& scenario) {
    // Pulled out as the client starts its nodes and plugged back as it stops them, so that
    // what the client does while the node is gone never races a clock, however slow it runs.
    const testing::NodeId color = scenario.findNode("color0");
    scenario.beforeCall(testing::SdkOperation::ContextStartNodes, 0,
                        [color](Scenario& s) { s.unplugNode(color); });
    scenario.beforeCall(testing::SdkOperation::ContextStopNodes, 0,
                        [color](Scenario& s) { s.plugNode(color); });
  });
  Device camera = sdktest::firstDevice(context);
  const ColorNode before = typedNode<ColorNode>(context, "color0");
  context.requestControl(before, 0);
  std::vector<std::string> heard;
  Node after;
  listen<Device, Device::NodeRemovedData>(
      camera.nodeRemovedEvent(), [&](Device, Device::NodeRemovedData data) {
        heard.push_back("removed " + data.node.name());
        const ColorNode::Configuration kept = before.getConfiguration();
        EXPECT_EQ(kept.frameFormat, FRAME_FORMAT_VGA);
        EXPECT_THROW(ColorNode(before).setConfiguration(kept), StreamingException);
        context.stopNodes();
      });
  listen<Device, Device::NodeAddedData>(camera.nodeAddedEvent(),
                                        [&](Device, Device::NodeAddedData data) {
                                          heard.push_back("added " + data.node.name());
                                          after = data.node;
                                          context.quit();
                                        });
  context.startNodes();
  context.run();

  EXPECT_EQ(heard, (std::vector<std::string>{"removed color0", "added color0"}));
  EXPECT_TRUE(after.is<ColorNode>());
  EXPECT_NE(after, Node(before)) << "a node plugged back is a new node";
  Context second = Context::create("localhost");
  EXPECT_NO_THROW(second.requestControl(sdktest::nodeNamed(second, "color0"), 0))
      << "control stayed with a node that was pulled out";
}

// Audio blocks carry the configured rate and channels, and each one's sampleIndex counts audio
// frames: block k starts at frame k x (rate / 50).
TYPED_TEST(Conformance, AudioBlocksFollowTheConfiguredRateAndChannels) {
  Context& context = this->open();
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  context.requestControl(audio, 0);
  AudioNode::Configuration configuration = audio.getConfiguration();
  configuration.sampleRate = 22050;
  configuration.channels = 2;
  audio.setConfiguration(configuration);

  std::vector<AudioNode::NewSampleReceivedData> blocks;
  listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode, AudioNode::NewSampleReceivedData data) {
        blocks.push_back(data);
        if (blocks.size() == 4) context.quit();
      });
  context.registerNode(audio);
  context.startNodes();
  context.run();

  ASSERT_EQ(blocks.size(), 4u);
  std::int64_t block = -1;
  for (const auto& data : blocks) {
    block += 1 + data.droppedSampleCount;
    EXPECT_EQ(data.sampleRate, 22050);
    EXPECT_EQ(data.channels, 2);
    // 441 frames a block, each frame two 16-bit values.
    EXPECT_EQ(data.audioData.size(), 441u * 2u * 2u);
    EXPECT_EQ(data.sampleIndex, block * 441);
  }
}

// A handler connected while its event is delivered hears the next event, not the current one.
TYPED_TEST(Conformance, AHandlerConnectedDuringDeliveryHearsTheNextEventOnly) {
  Context& context = this->open();
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  std::vector<std::int64_t> heardFirst;
  std::vector<std::int64_t> heardLate;
  listen<AudioNode, AudioNode::NewSampleReceivedData>(
      audio.newSampleReceivedEvent(), [&](AudioNode node, AudioNode::NewSampleReceivedData data) {
        heardFirst.push_back(data.sampleIndex);
        if (heardFirst.size() == 1) {
          listen<AudioNode, AudioNode::NewSampleReceivedData>(
              node.newSampleReceivedEvent(),
              [&heardLate](AudioNode, AudioNode::NewSampleReceivedData late) {
                heardLate.push_back(late.sampleIndex);
              });
        }
        if (heardFirst.size() == 2) context.quit();
      });
  context.registerNode(audio);
  context.startNodes();
  context.run();
  ASSERT_EQ(heardFirst.size(), 2u);
  EXPECT_EQ(heardLate, std::vector<std::int64_t>{heardFirst[1]});
}

// An armed fault fails its operation the given number of times, with its kind and message.
TYPED_TEST(Conformance, AnArmedFaultFailsItsOperationTheGivenNumberOfTimes) {
  Context& context = this->open([](Scenario& scenario) {
    scenario.failNext(testing::SdkOperation::NodeGetConfiguration, ExceptionKind::IO, 1, "armed");
    scenario.failNext(testing::SdkOperation::ColorSetEnableColorMap, ExceptionKind::Streaming, 2,
                      "no map");
  });
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  try {
    audio.getConfiguration();
    ADD_FAILURE() << "the armed fault was not raised";
  } catch (const IOException& failure) {
    EXPECT_STREQ(failure.what(), "armed");
  }
  EXPECT_EQ(audio.getConfiguration().sampleRate, 44100);

  ColorNode color = typedNode<ColorNode>(context, "color0");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      color.setEnableColorMap(true);
      ADD_FAILURE() << "attempt " << attempt << " went through";
    } catch (const StreamingException& failure) {
      EXPECT_STREQ(failure.what(), "no map");
    }
  }
  EXPECT_NO_THROW(color.setEnableColorMap(true)) << "the fault did not run out";
}

}  // namespace
}  // namespace CamSdk
