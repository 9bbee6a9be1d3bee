// The viewer's life from start-up to shut-down on the simulated service: which device is
// attached, what is printed, that the loop runs whatever was found, and that the streams still
// held are given back colour first while those removed meanwhile are skipped.
#include <gtest/gtest.h>

#include <algorithm>
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
constexpr const char* kDepthWindow = "Depth Camera";

class LifecycleTest : public ViewerTest {};

TEST_F(LifecycleTest, DefaultCameraStreamsUntilQuitAndGivesBackColourFirst) {
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 3 nodes\n");
  EXPECT_TRUE(ViewerState.deviceAttached);

  const std::vector<displayStandIn::CreatedWindow> windows = displayStandIn::createdWindows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].name, kColorWindow);
  EXPECT_EQ(windows[0].flags, 1);
  // 25 frames a second for one simulated second, the first at once.
  EXPECT_GE(displayStandIn::showCount(kColorWindow), 25);
  EXPECT_GE(displayStandIn::showCount(kDepthWindow), 25);

  EXPECT_EQ(callsOf(SdkOperation::ContextRegisterNode),
            (std::vector<std::string>{call(SdkOperation::ContextRegisterNode, "depth0"),
                                      call(SdkOperation::ContextRegisterNode, "color0"),
                                      call(SdkOperation::ContextRegisterNode, "audio0")}));
  EXPECT_EQ(callsOf(SdkOperation::ContextUnregisterNode),
            (std::vector<std::string>{call(SdkOperation::ContextUnregisterNode, "color0"),
                                      call(SdkOperation::ContextUnregisterNode, "depth0"),
                                      call(SdkOperation::ContextUnregisterNode, "audio0")}));
}

TEST_F(LifecycleTest, StepsRunInOrder) {
  quitAt(0.1);
  runViewerCapturingOutput();

  // The operations of the lifecycle itself, leaving out those of the setup routines.
  const std::vector<SdkOperation> lifecycleOperations{SdkOperation::ContextCreate,
                                                      SdkOperation::ContextDeviceAddedEvent,
                                                      SdkOperation::ContextDeviceRemovedEvent,
                                                      SdkOperation::ContextGetDevices,
                                                      SdkOperation::DeviceNodeAddedEvent,
                                                      SdkOperation::DeviceNodeRemovedEvent,
                                                      SdkOperation::DeviceGetNodes,
                                                      SdkOperation::ContextStartNodes,
                                                      SdkOperation::ContextRun,
                                                      SdkOperation::ContextStopNodes,
                                                      SdkOperation::ContextUnregisterNode};
  const std::vector<std::string> names = operationNames(lifecycleOperations);
  std::vector<std::string> seen;
  for (const std::string& entry : scenario().calls()) {
    const std::string name = entry.substr(0, entry.find(' '));
    const bool ofLifecycle = std::find(names.begin(), names.end(), name) != names.end();
    if (ofLifecycle && (seen.empty() || seen.back() != name)) seen.push_back(name);
  }
  EXPECT_EQ(seen, names);
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
            (std::vector<std::string>{call(SdkOperation::ContextUnregisterNode, "color0"),
                                      call(SdkOperation::ContextUnregisterNode, "audio0")}));
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
  EXPECT_EQ(callsOf(SdkOperation::DeviceGetNodes).size(), 1u);
}

TEST_F(LifecycleTest, FirstDeviceWithoutNodesIsStillAttached) {
  scenario().unplugDevice(scenario().findDevice("camera0"));
  scenario().addDevice("bare", {});
  quitAt(0.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 0 nodes\n");
  EXPECT_TRUE(ViewerState.deviceAttached);
  EXPECT_TRUE(callsOf(SdkOperation::ContextRegisterNode).empty());
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
  EXPECT_EQ(callsOf(SdkOperation::ContextStartNodes).size(), 1u);
  EXPECT_EQ(callsOf(SdkOperation::ContextRun).size(), 1u);
  EXPECT_EQ(callsOf(SdkOperation::ContextStopNodes).size(), 1u);
  EXPECT_TRUE(callsOf(SdkOperation::ContextUnregisterNode).empty());
}

TEST_F(NoDeviceTest, DeviceAddedLaterIsWiredAndItsNodesClaimed) {
  at(0.2, [this] {
    scenario().addDevice("late", {NodeKind::Depth, NodeKind::Color, NodeKind::Audio});
  });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "");
  EXPECT_TRUE(ViewerState.deviceAttached);
  EXPECT_TRUE(ViewerState.colorStream.isSet());
  EXPECT_GT(displayStandIn::showCount(kColorWindow), 0);
  EXPECT_EQ(callsOf(SdkOperation::ContextUnregisterNode).size(), 3u);
}

}  // namespace
}  // namespace viewerTest
