// A test fixture for whole runs of the viewer on a fresh simulated service with a virtual clock.
// After each test the viewer's global record is dropped, as process exit would drop it, and
// nothing of the SDK's may be left: no sample buffer, and no event handler that was not deleted
// exactly once.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "camsdk/testing/Scenario.h"

namespace reliability {

class ViewerRunTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  CamSdk::testing::Scenario& freshScenario(CamSdk::testing::Topology topology,
                                           bool virtualClock = true,
                                           const std::string& host = "localhost");
  CamSdk::testing::Scenario& scenario() { return *scenario_; }

  // The key q from `at` on. The depth handler's poll may take some, so there are a few.
  void pressQuitAt(std::chrono::nanoseconds at);
  // Ends a run that is still going at `at`, and says so in `fired`; a run that ignores q would
  // otherwise stream for ever on the virtual clock.
  void armWatchdog(std::chrono::nanoseconds at, bool* fired);

 private:
  std::optional<CamSdk::testing::Scenario> scenario_;
  long handlersAtStart_ = 0;
};

}  // namespace reliability
