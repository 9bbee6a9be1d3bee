// What becomes of an exception that nothing in the viewer catches: from starting the nodes or
// giving them back, or from a setup step outside its guarded block, at start-up or inside a
// handler. Each must end the viewer with one line on standard error naming the kind and the
// message, and status 1. (A missing camera service is tried on the program's own process.)
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ViewerTestFixture.h"
#include "viewer/FailureGuard.h"
#include "viewer/ViewerLifecycle.h"
#include "viewer/ViewerState.h"

namespace viewerTest {
namespace {

using CamSdk::ExceptionKind;

struct GuardedRun {
  int status = -1;
  std::string output;
  std::string errors;
};

GuardedRun runGuarded(const std::function<int()>& body) {
  GuardedRun run;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  run.status = runReportingFailure(body);
  run.errors = testing::internal::GetCapturedStderr();
  run.output = testing::internal::GetCapturedStdout();
  return run;
}

GuardedRun runGuardedViewer() {
  return runGuarded([] { return runViewer(kLocalCameraServiceHost); });
}

class FailureGuardTest : public ViewerTest {};

TEST_F(FailureGuardTest, FailingServiceOperationsNameTheirKindAndMessage) {
  scenario().failNext(SdkOperation::ContextStartNodes, ExceptionKind::Streaming, 1,
                      "nodes would not start");
  const GuardedRun startFailed = runGuardedViewer();
  EXPECT_EQ(startFailed.status, 1);
  EXPECT_EQ(startFailed.output, "Found 3 nodes\n");
  EXPECT_EQ(startFailed.errors, "depth-viewer: StreamingException: nodes would not start\n");
  EXPECT_TRUE(callsOf(SdkOperation::ContextRun).empty());
}

TEST_F(FailureGuardTest, FailureToGiveBackAStreamEndsWithStatusOne) {
  quitAt(0.2);
  scenario().failNext(SdkOperation::ContextUnregisterNode, ExceptionKind::InvalidOperation, 1,
                      "not registered");
  const GuardedRun run = runGuardedViewer();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.errors, "depth-viewer: InvalidOperationException: not registered\n");
}

TEST_F(FailureGuardTest, SetupFailureOutsideTheGuardedBlockEndsTheViewer) {
  // At start-up: the first claimed node's configuration cannot be read.
  scenario().failNext(SdkOperation::NodeGetConfiguration, ExceptionKind::Configuration, 1,
                      "unreadable");
  const GuardedRun run = runGuardedViewer();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Found 3 nodes\n");
  EXPECT_EQ(run.errors, "depth-viewer: ConfigurationException: unreadable\n");
}

TEST_F(FailureGuardTest, FailureInsideAHandlerLeavesTheLoopAndEndsTheViewer) {
  at(0.2, [this] { scenario().unplugNode(scenario().findNode("color0")); });
  at(0.3, [this] {
    scenario().failNext(SdkOperation::NodeGetConfiguration, ExceptionKind::Streaming, 1,
                        "node vanished");
    scenario().plugNode(scenario().findNode("color0"));
  });
  quitAt(1.0);
  const GuardedRun run = runGuardedViewer();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output, "Found 3 nodes\nNode disconnected\n");
  EXPECT_EQ(run.errors, "depth-viewer: StreamingException: node vanished\n");
  EXPECT_TRUE(callsOf(SdkOperation::ContextStopNodes).empty());
}

TEST(FailureGuardOtherExceptionsTest, AreReportedInOneLineToo) {
  const GuardedRun standard = runGuarded([]() -> int { throw std::runtime_error("broken"); });
  EXPECT_EQ(standard.status, 1);
  EXPECT_EQ(standard.errors, "depth-viewer: unexpected failure: broken\n");

  const GuardedRun unknown = runGuarded([]() -> int { throw 42; });
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.errors, "depth-viewer: unexpected failure of unknown kind\n");

  const GuardedRun fine = runGuarded([] { return 0; });
  EXPECT_EQ(fine.status, 0);
  EXPECT_EQ(fine.errors, "");
}

}  // namespace
}  // namespace viewerTest
