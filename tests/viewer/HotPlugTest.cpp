// Nodes and devices that come and go while the loop runs, driven through the simulated
// service: which node of each kind the viewer holds, which devices have their node events
// wired, what is printed, and that a stream lost and found again shows pictures again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "ViewerTestFixture.h"
#include "viewer/NodeDispatch.h"
#include "viewer/ViewerState.h"

namespace viewerTest {
namespace {

using CamSdk::NodeKind;
using CamSdk::testing::DeviceId;

constexpr const char* kColorWindow = "Color Camera";

class HotPlugTest : public ViewerTest {
 protected:
  DeviceId camera0() { return scenario().findDevice("camera0"); }
  void unplugNodeAt(double atSeconds, const std::string& name) {
    at(atSeconds, [this, name] { scenario().unplugNode(scenario().findNode(name)); });
  }
  // The number of colour pictures shown so far, noted when the clock reaches `atSeconds`.
  void noteColorShowsAt(double atSeconds, int* count) {
    at(atSeconds, [count] { *count = displayStandIn::showCount(kColorWindow); });
  }
  std::vector<std::string> registered() { return callsOf(SdkOperation::ContextRegisterNode); }
};

TEST_F(HotPlugTest, SecondNodeOfAHeldKindIsIgnoredSilently) {
  const DeviceId camera = camera0();
  at(0.2, [this, camera] { scenario().addNode(camera, NodeKind::Color); });
  quitAt(0.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output, "Found 3 nodes\n");
  EXPECT_EQ(registered().size(), 3u);
  EXPECT_EQ(ViewerState.colorStream.name(), "color0");
  // Not set up either: the only configuration read is that of each claimed node.
  EXPECT_EQ(callsOf(SdkOperation::NodeGetConfiguration).size(), 3u);
}

TEST_F(HotPlugTest, SecondNodesAtStartUpAreIgnoredAndFirstOfEachKindWins) {
  scenario().unplugDevice(camera0());
  scenario().addDevice("camera1", {NodeKind::Audio, NodeKind::Color, NodeKind::Other,
                                   NodeKind::Color, NodeKind::Depth, NodeKind::Audio});
  quitAt(0.2);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output, "Found 6 nodes\n");
  const std::vector<CamSdk::Node> nodes = ViewerState.context.listDevices().at(0).listNodes();
  ASSERT_EQ(nodes.size(), 6u);
  EXPECT_TRUE(nodes[0] == ViewerState.audioStream);
  EXPECT_TRUE(nodes[1] == ViewerState.colorStream);
  EXPECT_TRUE(nodes[4] == ViewerState.depthStream);
  EXPECT_EQ(registered(), (std::vector<std::string>{"Context::registerNode audio0",
                                                    "Context::registerNode color0",
                                                    "Context::registerNode depth0"}));
}

TEST_F(HotPlugTest, RemovingANodeThatIsNotHeldOnlyPrints) {
  const DeviceId camera = camera0();
  at(0.2, [this, camera] {
    const CamSdk::testing::NodeId extra = scenario().addNode(camera, NodeKind::Color);
    scenario().at(scenario().now() + seconds(0.1),
                  [extra](CamSdk::testing::Scenario& service) { service.unplugNode(extra); });
  });
  quitAt(0.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output, "Found 3 nodes\nNode disconnected\n");
  EXPECT_EQ(ViewerState.colorStream.name(), "color0");
  EXPECT_TRUE(ViewerState.depthStream.isSet());
  EXPECT_TRUE(ViewerState.audioStream.isSet());
}

TEST_F(HotPlugTest, ColourStreamLostAndFoundShowsPicturesAgain) {
  int shownAtRemoval = 0;
  int shownBeforeReturn = 0;
  unplugNodeAt(0.5, "color0");
  noteColorShowsAt(0.51, &shownAtRemoval);
  noteColorShowsAt(0.99, &shownBeforeReturn);
  at(1.0, [this] { scenario().plugNode(scenario().findNode("color0")); });
  quitAt(2.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.output, "Found 3 nodes\nNode disconnected\n");
  EXPECT_GT(shownAtRemoval, 0);
  EXPECT_EQ(shownBeforeReturn, shownAtRemoval) << "pictures while no colour node was held";
  EXPECT_GE(displayStandIn::showCount(kColorWindow), shownBeforeReturn + 20);
  // Claimed anew: set up (configured again) and registered again.
  EXPECT_EQ(registered().size(), 4u);
  EXPECT_EQ(callsOf(SdkOperation::NodeSetConfiguration).size(), 4u);
  EXPECT_TRUE(ViewerState.colorStream.isSet());
}

TEST_F(HotPlugTest, DeviceAddedWhileOneIsAttachedStaysUnwired) {
  DeviceId second = -1;
  at(0.2, [this, &second] { second = scenario().addDevice("camera1", {NodeKind::Color}); });
  at(0.4, [this] { scenario().unplugDevice(scenario().findDevice("camera0")); });
  at(0.6, [this, &second] { scenario().addNode(second, NodeKind::Depth); });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output,
            "Found 3 nodes\nNode disconnected\nNode disconnected\nNode disconnected\n"
            "Device disconnected\n");
  EXPECT_FALSE(ViewerState.deviceAttached);
  EXPECT_FALSE(ViewerState.colorStream.isSet());
  EXPECT_FALSE(ViewerState.depthStream.isSet());
  EXPECT_FALSE(ViewerState.audioStream.isSet());
  EXPECT_EQ(registered().size(), 3u);
  EXPECT_TRUE(callsOf(SdkOperation::ContextUnregisterNode).empty());
}

TEST_F(HotPlugTest, DeviceRemovedAndAddedAgainIsWiredAnew) {
  const DeviceId camera = camera0();
  int shownBeforeReturn = 0;
  at(0.3, [this, camera] { scenario().unplugDevice(camera); });
  noteColorShowsAt(0.59, &shownBeforeReturn);
  at(0.6, [this, camera] { scenario().plugDevice(camera); });
  quitAt(1.5);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output,
            "Found 3 nodes\nNode disconnected\nNode disconnected\nNode disconnected\n"
            "Device disconnected\n");
  EXPECT_TRUE(ViewerState.deviceAttached);
  EXPECT_EQ(registered().size(), 6u);
  EXPECT_GT(displayStandIn::showCount(kColorWindow), shownBeforeReturn);
  EXPECT_EQ(callsOf(SdkOperation::ContextUnregisterNode).size(), 3u);
}

TEST_F(HotPlugTest, RemovingANeverWiredDeviceStillClearsTheFlag) {
  DeviceId second = -1;
  at(0.2, [this, &second] { second = scenario().addDevice("camera1", {NodeKind::Color}); });
  at(0.4, [this, &second] { scenario().unplugDevice(second); });
  // With the flag down, the device is wired when it comes back, though a colour node is held.
  at(0.6, [this, &second] { scenario().plugDevice(second); });
  at(0.8, [this] { scenario().unplugNode(scenario().findNode("color0")); });
  quitAt(1.0);
  const ViewerRun run = runViewerCapturingOutput();

  EXPECT_EQ(run.output, "Found 3 nodes\nDevice disconnected\nNode disconnected\n");
  EXPECT_TRUE(ViewerState.deviceAttached);
  EXPECT_FALSE(ViewerState.colorStream.isSet());
  EXPECT_EQ(registered().size(), 3u);
}

}  // namespace
}  // namespace viewerTest
