#include "ViewerRunTest.h"

#include "DisplayStandIn.h"
#include "ProgramRun.h"
#include "camera/CameraSdk.h"
#include "common/EventAccess.h"
#include "viewer/ViewerState.h"

namespace reliability {

using CamSdk::testing::Scenario;

void ViewerRunTest::SetUp() {
  handlersAtStart_ = CamSdk::detail::EventAccess::liveHandlers();
  releaseViewerState();
  displayStandIn::reset();
}

void ViewerRunTest::TearDown() {
  releaseViewerState();
  if (scenario_) {
    EXPECT_EQ(scenario_->liveBuffers(), 0) << "sample buffers outlived the viewer";
    scenario_.reset();
  }
  // Fewer than at the start would mean a handler deleted twice; more, one never deleted.
  EXPECT_EQ(CamSdk::detail::EventAccess::liveHandlers(), handlersAtStart_)
      << "event handlers were not deleted exactly once";
}

Scenario& ViewerRunTest::freshScenario(CamSdk::testing::Topology topology, bool virtualClock,
                                       const std::string& host) {
  scenario_.emplace(Scenario::fresh(topology, virtualClock, host));
  return *scenario_;
}

void ViewerRunTest::pressQuitAt(std::chrono::nanoseconds at) {
  scenario_->at(at, [](Scenario&) { displayStandIn::scriptKeys({'q', 'q', 'q', 'q'}); });
}

void ViewerRunTest::armWatchdog(std::chrono::nanoseconds at, bool* fired) {
  scenario_->at(at, [fired](Scenario&) {
    *fired = true;
    ViewerState.context.quit();
  });
}

}  // namespace reliability
