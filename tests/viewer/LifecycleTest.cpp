// The viewer's life from start-up to shut-down on the simulated service: the order of its
// calls, which device is attached, what is printed, that the loop runs whatever was found, and
// that the streams still held are given back colour first while those removed are skipped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "ViewerTestFixture.h"
#include "viewer/ViewerState.h"

namespace viewerTest {
namespace {

using CamSdk::NodeKind;
using CamSdk::testing::Topology;

constexpr const char* kColorWindow = "Color Camera";

class LifecycleTest : public ViewerTest {};

TEST_F(LifecycleTest, DefaultCameraIsClaimedStreamedAndGivenBackInOrder) {
  quitAt(0.2);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 3 nodes\n");
  EXPECT_TRUE(ViewerState.deviceAttached);
  const std::vector<displayStandIn::CreatedWindow> windows = displayStandIn::createdWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].name, kColorWindow);
  EXPECT_EQ(windows[0].flags, 1);  // auto-size
  EXPECT_GT(displayStandIn::showCount(kColorWindow), 0);
  EXPECT_GT(displayStandIn::showCount("Depth Camera"), 0);

  // Every call the viewer made: each node is tested for all three kinds and claimed as
  // store, set up, register; the streams are given back colour, depth, audio.
  const std::vector<std::string> expected{
      "Context::create localhost", "Context::deviceAddedEvent", "Context::deviceRemovedEvent",
      "Context::getDevices", "Device::nodeAddedEvent camera0", "Device::nodeRemovedEvent camera0",
      "Device::getNodes camera0",
      // depth0
      "Node::is depth0", "Node::as depth0", "Node::newSampleReceivedEvent depth0",
      "Node::getConfiguration depth0", "DepthNode::setEnableVertices depth0",
      "DepthNode::setEnableDepthMap depth0", "Context::requestControl depth0",
      "Node::setConfiguration depth0", "Context::registerNode depth0", "Node::is depth0",
      "Node::is depth0",
      // color0
      "Node::is color0", "Node::is color0", "Node::as color0",
      "Node::newSampleReceivedEvent color0", "Node::getConfiguration color0",
      "ColorNode::setEnableColorMap color0", "Context::requestControl color0",
      "Node::setConfiguration color0", "Context::registerNode color0", "Node::is color0",
      // audio0
      "Node::is audio0", "Node::is audio0", "Node::is audio0", "Node::as audio0",
      "Node::newSampleReceivedEvent audio0", "Node::getConfiguration audio0",
      "Context::requestControl audio0", "Node::setConfiguration audio0",
      "AudioNode::setInputMixerLevel audio0", "Context::registerNode audio0",
      // the loop and shut-down
      "Context::startNodes", "Context::run", "Context::quit", "Context::stopNodes",
      "Context::unregisterNode color0", "Context::unregisterNode depth0",
      "Context::unregisterNode audio0"};
  EXPECT_EQ(scenario().calls(), expected);
}

TEST_F(LifecycleTest, QuitKeyEndsTheLoopAfterTheColourFrameIsShown) {
  // A camera with only a colour node, so that no other handler polls the keys.
  scenario().unplugDevice(scenario().findDevice("camera0"));
  scenario().addDevice("colour-only", {NodeKind::Color});
  displayStandIn::scriptKeys({'x', 'Q', 27, 'q', 'q'});

  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 1 nodes\n");
  EXPECT_EQ(displayStandIn::showCount(kColorWindow), 4);
  EXPECT_EQ(displayStandIn::pendingKeys(), 1u);
}

TEST_F(LifecycleTest, StreamRemovedWhileRunningIsNotGivenBack) {
  at(0.5, [this] { scenario().unplugNode(scenario().findNode("depth0")); });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 3 nodes\nNode disconnected\n");
  EXPECT_FALSE(ViewerState.depthStream.isSet());
  EXPECT_EQ(callsOf(SdkOperation::ContextUnregisterNode),
            (std::vector<std::string>{"Context::unregisterNode color0",
                                      "Context::unregisterNode audio0"}));
}

TEST_F(LifecycleTest, OnlyTheFirstOfTwoDevicesIsWiredAndClaimed) {
  const CamSdk::testing::DeviceId second =
      scenario().addDevice("camera1", {NodeKind::Depth, NodeKind::Color, NodeKind::Audio});
  // Were the second device wired, its node events would print or claim something.
  at(0.3, [this, second] { scenario().unplugNode(scenario().nodesOf(second).at(0)); });
  at(0.4, [this] { scenario().unplugNode(scenario().findNode("color0")); });
  at(0.5, [this, second] { scenario().addNode(second, NodeKind::Color); });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 3 nodes\nNode disconnected\n");
  EXPECT_FALSE(ViewerState.colorStream.isSet());
  EXPECT_EQ(callsOf(SdkOperation::ContextRegisterNode).size(), 3u);
  EXPECT_EQ(callsOf(SdkOperation::DeviceGetNodes),
            (std::vector<std::string>{"Device::getNodes camera0"}));
}

TEST_F(LifecycleTest, FirstDeviceWithoutNodesIsStillAttached) {
  scenario().unplugDevice(scenario().findDevice("camera0"));
  scenario().addDevice("bare", {});
  quitAt(0.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 0 nodes\n");
  EXPECT_TRUE(ViewerState.deviceAttached);
}

class NoDeviceTest : public ViewerTest {
 protected:
  NoDeviceTest() : ViewerTest(Topology::Empty) {}
};

TEST_F(NoDeviceTest, LoopRunsWithNothingClaimedAndExitsZero) {
  quitAt(0.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_FALSE(ViewerState.deviceAttached);
  EXPECT_EQ(scenario().calls(),
            (std::vector<std::string>{"Context::create localhost", "Context::deviceAddedEvent",
                                      "Context::deviceRemovedEvent", "Context::getDevices",
                                      "Context::startNodes", "Context::run", "Context::quit",
                                      "Context::stopNodes"}));
}

TEST_F(NoDeviceTest, DeviceAddedLaterIsWiredAndItsNodesClaimed) {
  at(0.2, [this] {
    scenario().addDevice("late", {NodeKind::Depth, NodeKind::Color, NodeKind::Audio});
  });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output, "");
  EXPECT_TRUE(ViewerState.deviceAttached);
  EXPECT_GT(displayStandIn::showCount(kColorWindow), 0);
  EXPECT_EQ(callsOf(SdkOperation::ContextUnregisterNode).size(), 3u);
}

}  // namespace
}  // namespace viewerTest
