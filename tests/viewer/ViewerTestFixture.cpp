#include "ViewerTestFixture.h"

#include <opencv2/highgui/highgui_c.h>

#include <chrono>
#include <utility>

#include "DisplayStandIn.h"
#include "common/EventAccess.h"
#include "present/ColorFrameDisplay.h"
#include "viewer/ViewerLifecycle.h"
#include "viewer/ViewerState.h"

namespace viewerTest {

Nanoseconds seconds(double value) {
  return std::chrono::duration_cast<Nanoseconds>(std::chrono::duration<double>(value));
}

ViewerTest::ViewerTest(CamSdk::testing::Topology topology)
    : scenario_(Scenario::fresh(topology)),
      handlersAtStart_(CamSdk::detail::EventAccess::liveHandlers()) {
  ViewerState = ViewerStateRecord{};
  displayStandIn::reset();
}

void ViewerTest::TearDown() {
  // The global record would otherwise keep the context, and with it every adapter, alive.
  ViewerState = ViewerStateRecord{};
  scenario_.reset();
  EXPECT_EQ(CamSdk::detail::EventAccess::liveHandlers(), handlersAtStart_)
      << "event handlers leaked";
}

void ViewerTest::at(double atSeconds, std::function<void()> action) {
  scenario().at(seconds(atSeconds), [action = std::move(action)](Scenario&) { action(); });
}

void ViewerTest::quitAt(double atSeconds) {
  at(atSeconds, [] { ViewerState.context.quit(); });
}

ViewerRun ViewerTest::runViewerCapturingOutput() {
  ViewerRun run;
  testing::internal::CaptureStdout();
  try {
    run.status = runViewer(kLocalCameraServiceHost);
  } catch (...) {
    run.output = testing::internal::GetCapturedStdout();
    throw;
  }
  run.output = testing::internal::GetCapturedStdout();
  return run;
}

void ViewerTest::openViewerContext() {
  cvNamedWindow(kColorWindowName, CV_WINDOW_AUTOSIZE);
  ViewerState.context = CamSdk::Context::create(kLocalCameraServiceHost);
}

CamSdk::Node ViewerTest::firstDeviceNode(const std::string& name) {
  for (const CamSdk::Node& node : ViewerState.context.listDevices().at(0).listNodes()) {
    if (node.name() == name) return node;
  }
  ADD_FAILURE() << "no node " << name;
  return CamSdk::Node();
}

std::vector<std::string> ViewerTest::callsOf(SdkOperation operation) {
  const std::string prefix = CamSdk::testing::operationName(operation);
  std::vector<std::string> matching;
  for (const std::string& entry : scenario().calls()) {
    if (entry.compare(0, prefix.size(), prefix) == 0 &&
        (entry.size() == prefix.size() || entry[prefix.size()] == ' ')) {
      matching.push_back(entry);
    }
  }
  return matching;
}

}  // namespace viewerTest
