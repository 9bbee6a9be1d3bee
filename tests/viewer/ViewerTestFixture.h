// A fixture for tests that drive the viewer's own code on a fresh simulated camera service with
// a virtual clock and the display stand-in, and check that nothing outlives the test.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"

namespace viewerTest {

using CamSdk::testing::Nanoseconds;
using CamSdk::testing::Scenario;
using CamSdk::testing::SdkOperation;

Nanoseconds seconds(double value);

struct ViewerRun {
  int status = -1;
  std::string output;  // standard output while the viewer ran
};

class ViewerTest : public testing::Test {
 protected:
  explicit ViewerTest(CamSdk::testing::Topology topology = CamSdk::testing::Topology::OneCamera);
  void TearDown() override;

  Scenario& scenario() { return *scenario_; }

  // Runs `action` inside the viewer's loop when the service clock reaches `at`.
  void at(double atSeconds, std::function<void()> action);
  // Makes the viewer's loop return at `atSeconds`, as the q key would.
  void quitAt(double atSeconds);

  // The whole lifecycle on this fixture's service, with its standard output.
  ViewerRun runViewerCapturingOutput();

  // For tests of single routines: the colour window and the viewer's context opened as the
  // lifecycle opens them, and a node of the first device by name.
  void openViewerContext();
  CamSdk::Node firstDeviceNode(const std::string& name);

  // The call log entries of one operation, such as "Context::registerNode color0".
  std::vector<std::string> callsOf(SdkOperation operation);

 private:
  std::optional<Scenario> scenario_;
  long handlersAtStart_ = 0;
};

}  // namespace viewerTest
