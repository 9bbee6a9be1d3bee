// How the setup routines meet the SDK's failures. Inside the guarded block each routine
// catches exactly its own kinds, prints one fixed line and returns; everything else, and
// every failure before the block, passes out. A clause too many or too few, a wrong line, or
// a step run after the failure shows up here.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "ViewerTestFixture.h"
#include "streams/StreamSetup.h"
#include "viewer/FrameHandlers.h"
#include "viewer/NodeDispatch.h"
#include "viewer/ViewerState.h"

namespace viewerTest {
namespace {

using CamSdk::ExceptionKind;

// Carries a printf directive so that a message used as a format string would show.
constexpr const char* kMessage = "disk 100% full %s";

enum class Routine { Depth, Color, Audio };

struct SetupOutcome {
  std::string output;
  bool escaped = false;
  ExceptionKind escapedKind = ExceptionKind::Argument;
};

class SetupFailureFixture : public ViewerTest {
 protected:
  void SetUp() override { openViewerContext(); }

  // Stores the first device's node of the routine's kind, as claimNode does, and runs the
  // routine alone.
  SetupOutcome runSetup(Routine routine) {
    std::function<void()> setup;
    switch (routine) {
      case Routine::Depth:
        ViewerState.depthStream = firstDeviceNode("depth0").as<CamSdk::DepthNode>();
        setup = [] {
          setupDepthStream(ViewerState.context, ViewerState.depthStream, showDepthFrame);
        };
        break;
      case Routine::Color:
        ViewerState.colorStream = firstDeviceNode("color0").as<CamSdk::ColorNode>();
        setup = [] {
          setupColorStream(ViewerState.context, ViewerState.colorStream, showColorFrame);
        };
        break;
      case Routine::Audio:
        ViewerState.audioStream = firstDeviceNode("audio0").as<CamSdk::AudioNode>();
        setup = [] {
          setupAudioStream(ViewerState.context, ViewerState.audioStream, dropAudioSample);
        };
        break;
    }
    scenario().clearCalls();
    SetupOutcome outcome;
    testing::internal::CaptureStdout();
    try {
      setup();
    } catch (const CamSdk::Exception& failure) {
      outcome.escaped = true;
      outcome.escapedKind = failure.kind();
    }
    outcome.output = testing::internal::GetCapturedStdout();
    return outcome;
  }
};

// The line each kind prints, with kMessage as the exception's text.
std::string lineFor(ExceptionKind kind) {
  const std::string message = kMessage;
  switch (kind) {
    case ExceptionKind::Argument:
      return "Argument Exception: " + message + "\n";
    case ExceptionKind::UnauthorizedAccess:
      return "Unauthorized Access Exception: " + message + "\n";
    case ExceptionKind::IO:
      return "IO Exception: " + message + "\n";
    case ExceptionKind::InvalidOperation:
      return "Invalid Operation Exception: " + message + "\n";
    case ExceptionKind::Configuration:
      return "Configuration Exception: " + message + "\n";
    case ExceptionKind::Streaming:
      return "Streaming Exception: " + message + "\n";
    case ExceptionKind::Timeout:
      return "TimeoutException\n";
  }
  return "";
}

struct GuardedFailure {
  Routine routine;
  SdkOperation failing;  // a step of the guarded block
  ExceptionKind kind;
};

std::string routineName(Routine routine) {
  switch (routine) {
    case Routine::Depth:
      return "Depth";
    case Routine::Color:
      return "Color";
    case Routine::Audio:
      return "Audio";
  }
  return "";
}

std::vector<GuardedFailure> allGuardedFailures() {
  const std::vector<ExceptionKind> kinds{
      ExceptionKind::Argument,         ExceptionKind::UnauthorizedAccess, ExceptionKind::IO,
      ExceptionKind::InvalidOperation, ExceptionKind::Configuration,      ExceptionKind::Streaming,
      ExceptionKind::Timeout};
  std::vector<GuardedFailure> failures;
  for (Routine routine : {Routine::Depth, Routine::Color, Routine::Audio}) {
    for (SdkOperation failing :
         {SdkOperation::ContextRequestControl, SdkOperation::NodeSetConfiguration}) {
      for (ExceptionKind kind : kinds) failures.push_back({routine, failing, kind});
    }
  }
  return failures;
}

class GuardedBlockTest : public SetupFailureFixture,
                         public testing::WithParamInterface<GuardedFailure> {};

TEST_P(GuardedBlockTest, CatchesItsOwnKindsOnlyAndSkipsTheRestOfTheBlock) {
  const GuardedFailure failure = GetParam();
  scenario().failNext(failure.failing, failure.kind, 1, kMessage);

  const SetupOutcome outcome = runSetup(failure.routine);

  const bool audioLacksClause =
      failure.routine == Routine::Audio &&
      (failure.kind == ExceptionKind::IO || failure.kind == ExceptionKind::InvalidOperation);
  if (audioLacksClause) {
    EXPECT_TRUE(outcome.escaped);
    EXPECT_EQ(outcome.escapedKind, failure.kind);
    EXPECT_EQ(outcome.output, "");
  } else {
    EXPECT_FALSE(outcome.escaped);
    EXPECT_EQ(outcome.output, lineFor(failure.kind));
  }
  // Nothing after the failing step ran.
  const size_t configured = callsOf(SdkOperation::NodeSetConfiguration).size();
  EXPECT_EQ(configured, failure.failing == SdkOperation::NodeSetConfiguration ? 1u : 0u);
  EXPECT_TRUE(callsOf(SdkOperation::AudioSetInputMixerLevel).empty());
}

INSTANTIATE_TEST_SUITE_P(EveryRoutineKindAndStep, GuardedBlockTest,
                         testing::ValuesIn(allGuardedFailures()),
                         [](const testing::TestParamInfo<GuardedFailure>& testCase) {
                           return routineName(testCase.param.routine) +
                                  (testCase.param.failing == SdkOperation::ContextRequestControl
                                       ? "RequestControl"
                                       : "SetConfiguration") +
                                  CamSdk::exceptionKindName(testCase.param.kind);
                         });

class SetupFailureTest : public SetupFailureFixture {};

TEST_F(SetupFailureTest, AudioMixerLevelFailureIsCaughtAfterConfiguring) {
  scenario().failNext(SdkOperation::AudioSetInputMixerLevel, ExceptionKind::Streaming, 1, kMessage);
  const SetupOutcome outcome = runSetup(Routine::Audio);
  EXPECT_FALSE(outcome.escaped);
  EXPECT_EQ(outcome.output, lineFor(ExceptionKind::Streaming));
  EXPECT_EQ(callsOf(SdkOperation::NodeSetConfiguration).size(), 1u);
}

TEST_F(SetupFailureTest, FailureBeforeTheGuardedBlockPassesOutEvenOfACaughtKind) {
  scenario().failNext(SdkOperation::NodeGetConfiguration, ExceptionKind::Configuration);
  const SetupOutcome outcome = runSetup(Routine::Color);
  EXPECT_TRUE(outcome.escaped);
  EXPECT_EQ(outcome.escapedKind, ExceptionKind::Configuration);
  EXPECT_EQ(outcome.output, "");
  EXPECT_TRUE(callsOf(SdkOperation::ColorSetEnableColorMap).empty());
  EXPECT_TRUE(callsOf(SdkOperation::ContextRequestControl).empty());
}

TEST_F(SetupFailureTest, VerticesSwitchFailureLeavesBeforeTheDepthMapAndControl) {
  scenario().failNext(SdkOperation::DepthSetEnableVertices, ExceptionKind::Argument);
  const SetupOutcome outcome = runSetup(Routine::Depth);
  EXPECT_TRUE(outcome.escaped);
  EXPECT_EQ(outcome.escapedKind, ExceptionKind::Argument);
  EXPECT_EQ(outcome.output, "");
  EXPECT_TRUE(callsOf(SdkOperation::DepthSetEnableDepthMap).empty());
  EXPECT_TRUE(callsOf(SdkOperation::ContextRequestControl).empty());
}

TEST_F(SetupFailureTest, NodeControlledByAnotherContextIsStillRegisteredAndStreams) {
  CamSdk::Context other = CamSdk::Context::create("localhost");
  CamSdk::Node othersColor = other.listDevices().at(0).listNodes().at(1);
  ASSERT_EQ(othersColor.name(), "color0");
  other.requestControl(othersColor, 0);

  testing::internal::CaptureStdout();
  claimNode(firstDeviceNode("color0"));
  const std::string output = testing::internal::GetCapturedStdout();

  EXPECT_EQ(output.rfind("Unauthorized Access Exception: ", 0), 0u) << output;
  EXPECT_EQ(output.find('\n'), output.size() - 1) << output;
  EXPECT_TRUE(callsOf(SdkOperation::NodeSetConfiguration).empty());
  EXPECT_EQ(callsOf(SdkOperation::ContextRegisterNode),
            (std::vector<std::string>{"Context::registerNode color0"}));

  // The frame handler stayed connected: pictures arrive once the nodes run.
  quitAt(0.5);
  ViewerState.context.startNodes();
  ViewerState.context.run();
  EXPECT_GT(displayStandIn::showCount("Color Camera"), 0);
}

}  // namespace
}  // namespace viewerTest
