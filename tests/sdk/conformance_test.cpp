// The SDK's behaviour as programs meet it, from one source over both transports: a service in
// this process (on a virtual clock, as the unit tests use it) and one served over ZeroMQ from a
// thread of its own (on the real clock, as camsdk-service serves programs). The ZeroMQ service
// runs in its own thread, so a test touches it only before it is served and through timed
// actions, which run in that thread; the loop is left from handlers.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
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

TYPED_TEST(Conformance, ConfigurationComesBackAsWrittenAndABadOneIsRefused) {
  Context& context = this->open();
  ColorNode color = typedNode<ColorNode>(context, "color0");
  context.requestControl(color, 0);
  const ColorNode::Configuration wanted{FRAME_FORMAT_QVGA, 10, ColorNode::PowerLineFrequency::Hz60,
                                        ColorNode::Compression::Yuy2};
  color.setConfiguration(wanted);
  ColorNode::Configuration read = color.getConfiguration();
  EXPECT_EQ(read.frameFormat, FRAME_FORMAT_QVGA);
  EXPECT_EQ(read.framerate, 10);
  EXPECT_EQ(read.powerLineFrequency, ColorNode::PowerLineFrequency::Hz60);

  ColorNode::Configuration bad = wanted;
  bad.framerate = 0;
  EXPECT_THROW(color.setConfiguration(bad), ConfigurationException);
  EXPECT_EQ(color.getConfiguration().framerate, 10) << "a refused configuration was kept";
}

TYPED_TEST(Conformance, AnUnpluggedNodeIsRemovedAndComesBackAsANewNode) {
  Context& context = this->open([](Scenario& scenario) {
    // Unplugged as the client starts its nodes, not at a fixed time that a slow client (under
    // emulation or load) may not have reached yet; plugged back 100 ms later.
    const testing::NodeId color = scenario.findNode("color0");
    scenario.beforeCall(testing::SdkOperation::ContextStartNodes, 0, [color](Scenario& s) {
      s.unplugNode(color);
      s.at(s.now() + 100ms, [color](Scenario& later) { later.plugNode(color); });
    });
  });
  Device camera = sdktest::firstDevice(context);
  const Node before = sdktest::nodeNamed(context, "color0");
  std::vector<std::string> heard;
  Node after;
  listen<Device, Device::NodeRemovedData>(camera.nodeRemovedEvent(),
                                          [&](Device, Device::NodeRemovedData data) {
                                            heard.push_back("removed " + data.node.name());
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
  EXPECT_NE(after, before) << "a node plugged back is a new node";
}

TYPED_TEST(Conformance, AnArmedFaultRaisesItsKindOnce) {
  Context& context = this->open([](Scenario& scenario) {
    scenario.failNext(testing::SdkOperation::NodeGetConfiguration, ExceptionKind::IO, 1, "armed");
  });
  AudioNode audio = typedNode<AudioNode>(context, "audio0");
  try {
    audio.getConfiguration();
    ADD_FAILURE() << "the armed fault was not raised";
  } catch (const IOException& failure) {
    EXPECT_STREQ(failure.what(), "armed");
  }
  EXPECT_EQ(audio.getConfiguration().sampleRate, 44100);
}

}  // namespace
}  // namespace CamSdk
