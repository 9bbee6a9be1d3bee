// The viewer follows cameras and streams that come and go through the SDK's notifications.
// Their order (nodes before their device on removal, the device before its nodes on
// arrival), the lists at that moment, and what happens to a removed node's stream are what
// the viewer's hot-plug handling builds on.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SdkTestSupport.h"
#include "common/EventAccess.h"

namespace CamSdk {
namespace {

using std::chrono::milliseconds;
using testing::Scenario;

class HotPlug : public ::testing::Test {
 protected:
  Scenario scenario = Scenario::fresh();
  Context context = Context::create("localhost");
  std::vector<std::string> seen;

  void recordDevice(Device device) {
    sdktest::listen<Device, Device::NodeAddedData>(
        device.nodeAddedEvent(), [this](Device source, Device::NodeAddedData data) {
          seen.push_back("node+ " + source.name() + "/" + data.node.name());
        });
    sdktest::listen<Device, Device::NodeRemovedData>(
        device.nodeRemovedEvent(), [this](Device source, Device::NodeRemovedData data) {
          seen.push_back("node- " + source.name() + "/" + data.node.name());
        });
  }
  void recordContext() {
    sdktest::listen<Context, Context::DeviceAddedData>(
        context.deviceAddedEvent(), [this](Context source, Context::DeviceAddedData data) {
          EXPECT_EQ(source, context);
          seen.push_back("device+ " + data.device.name() + " with " +
                         std::to_string(data.device._p_getNodes().size()));
          recordDevice(data.device);
        });
    sdktest::listen<Context, Context::DeviceRemovedData>(
        context.deviceRemovedEvent(), [this](Context, Context::DeviceRemovedData data) {
          seen.push_back("device- " + data.device.name());
        });
  }
  void runUntil(milliseconds at) {
    sdktest::quitAt(scenario, context, at);
    context.run();
  }
};

TEST_F(HotPlug, DeviceRemovalAndArrivalComeInOrder) {
  recordContext();
  recordDevice(sdktest::firstDevice(context));
  const testing::DeviceId camera = scenario.findDevice("camera0");
  scenario.at(milliseconds(5), [camera](Scenario& s) { s.unplugDevice(camera); });
  scenario.at(milliseconds(7), [camera](Scenario& s) { s.plugDevice(camera); });
  runUntil(milliseconds(10));
  EXPECT_EQ(seen, (std::vector<std::string>{"node- camera0/depth0", "node- camera0/color0",
                                            "node- camera0/audio0", "device- camera0",
                                            "device+ camera0 with 3", "node+ camera0/depth0",
                                            "node+ camera0/color0", "node+ camera0/audio0"}));
}

TEST_F(HotPlug, ANewDeviceAndSingleNodesAreAnnounced) {
  recordContext();
  recordDevice(sdktest::firstDevice(context));
  scenario.addDevice("camera1", {NodeKind::Color});
  scenario.unplugNode(scenario.findNode("audio0"));
  scenario.addNode(scenario.findDevice("camera0"), NodeKind::Audio);
  runUntil(milliseconds(1));
  EXPECT_EQ(seen, (std::vector<std::string>{"device+ camera1 with 1", "node+ camera1/color0",
                                            "node- camera0/audio0", "node+ camera0/audio1"}));
  // The lists follow at once.
  List<Node> nodes = sdktest::firstDevice(context)._p_getNodes();
  ASSERT_EQ(nodes.size(), 3);
  EXPECT_EQ(nodes[2].name(), "audio1");
  EXPECT_EQ(context._p_getDevices().size(), 2);
}

TEST_F(HotPlug, ARemovedNodeStopsAtOnceAndComesBackWithNoHandlers) {
  ColorNode before = sdktest::typedNode<ColorNode>(context, "color0");
  int samples = 0;
  sdktest::listen<ColorNode, ColorNode::NewSampleReceivedData>(
      before.newSampleReceivedEvent(),
      [&samples](ColorNode, ColorNode::NewSampleReceivedData) { ++samples; });
  before.setEnableColorMap(true);
  context.registerNode(before);
  context.requestControl(before, 0);
  context.startNodes();

  const testing::NodeId colorId = scenario.findNode("color0");
  scenario.at(milliseconds(50), [colorId](Scenario& s) { s.unplugNode(colorId); });
  runUntil(milliseconds(200));
  EXPECT_EQ(samples, 2);  // 0 and 40 ms; none after the removal at 50 ms

  // Gone, it may still be registered, harmlessly (the conformance suite checks the rest of
  // what a gone node does); back, it starts with no handlers.
  context.registerNode(before);
  scenario.plugNode(colorId);
  ColorNode after = sdktest::typedNode<ColorNode>(context, "color0");
  EXPECT_EQ(detail::EventAccess::handlerCount(after.newSampleReceivedEvent()), 0u);
}

TEST_F(HotPlug, EveryContextHearsOfChanges) {
  Context second = Context::create("localhost");
  int secondHeard = 0;
  sdktest::listen<Context, Context::DeviceRemovedData>(
      second.deviceRemovedEvent(),
      [&secondHeard](Context, Context::DeviceRemovedData) { ++secondHeard; });
  recordContext();
  scenario.unplugDevice(scenario.findDevice("camera0"));
  EXPECT_EQ(second._p_getDevices().size(), 0);
  runUntil(milliseconds(1));
  EXPECT_EQ(seen, std::vector<std::string>{"device- camera0"});
  EXPECT_EQ(secondHeard, 0);  // waiting for its own loop
  sdktest::quitAt(scenario, second, milliseconds(2));
  second.run();
  EXPECT_EQ(secondHeard, 1);
}

}  // namespace
}  // namespace CamSdk
