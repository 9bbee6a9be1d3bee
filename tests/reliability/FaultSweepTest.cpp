// Every SDK call the viewer makes, made to fail with each of the SDK's seven exceptions, at
// start-up, while the loop runs and at shut-down. The viewer runs its real lifecycle, inside its
// failure guard as the entry function runs it, on a simulated camera with a virtual clock.
//
// A failure inside a setup routine's guarded block must give exactly that routine's line and let
// the viewer go on to a normal end; any other failure must reach the program's one error line on
// standard error and the status 1. In every case nothing may crash, hang (the run is bounded on
// the virtual clock) or outlive the run: no event handler and no sample buffer.
//
// The table below lists each call site once. The coverage tests at the end fail when the viewer
// makes a call the table does not list, so a new call site cannot be forgotten.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "DisplayStandIn.h"
#include "ProgramRun.h"
#include "ViewerRunTest.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "viewer/ViewerState.h"

namespace reliability {
namespace {

using CamSdk::ExceptionKind;
using CamSdk::NodeKind;
using CamSdk::testing::Scenario;
using CamSdk::testing::Topology;
using Op = CamSdk::testing::SdkOperation;
using std::chrono::milliseconds;

const char kMessage[] = "injected fault";

// How the viewer is brought to the call site, and when the fault is armed.
enum class When {
  StartUp,        // armed before the viewer starts: the run's first call of the operation
  QuitKey,        // armed before start; the first call comes when q is pressed
  ShutDown,       // armed before start; the first call comes after the loop returns
  NodeLeaves,     // armed while the loop runs, as the node is unplugged
  NodeReturns,    // armed while the loop runs, as the node (unplugged before) is plugged back
  DeviceReturns,  // the same for the whole camera
};

// Which exception clauses surround the call.
enum class Guard {
  None,           // none: every failure leaves the viewer
  DepthOrColour,  // the depth and colour setup blocks: all seven kinds
  Audio,          // the audio setup block: all but IOException and InvalidOperationException
};

struct CallSite {
  Op operation;
  const char* caller;  // the program's routine that makes the call
  When when;
  NodeKind node;        // start-up: the kind the camera lists first; loop: the node that moves
  const char* subject;  // what the call log names with the failing call
  Guard guard;
};

// clang-format off
const CallSite kCallSites[] = {
  // operation                     caller                 when                 node              subject      guard
  {Op::ContextCreate,              "runViewer",          When::StartUp,       NodeKind::Depth,  "localhost", Guard::None},
  {Op::ContextDeviceAddedEvent,    "runViewer",          When::StartUp,       NodeKind::Depth,  "",          Guard::None},
  {Op::ContextDeviceRemovedEvent,  "runViewer",          When::StartUp,       NodeKind::Depth,  "",          Guard::None},
  {Op::ContextGetDevices,          "runViewer",          When::StartUp,       NodeKind::Depth,  "",          Guard::None},
  {Op::DeviceNodeAddedEvent,       "attachFirstDevice",  When::StartUp,       NodeKind::Depth,  "camera0",   Guard::None},
  {Op::DeviceNodeRemovedEvent,     "attachFirstDevice",  When::StartUp,       NodeKind::Depth,  "camera0",   Guard::None},
  {Op::DeviceGetNodes,             "attachFirstDevice",  When::StartUp,       NodeKind::Depth,  "camera0",   Guard::None},
  {Op::NodeIs,                     "claimNode",          When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::StartUp,       NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::StartUp,       NodeKind::Audio,  "audio0",    Guard::None},
  {Op::NodeNewSampleReceivedEvent, "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::DepthSetEnableVertices,     "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::DepthSetEnableDepthMap,     "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::ContextRequestControl,      "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::DepthOrColour},
  {Op::NodeSetConfiguration,       "setupDepthStream",   When::StartUp,       NodeKind::Depth,  "depth0",    Guard::DepthOrColour},
  {Op::NodeNewSampleReceivedEvent, "setupColorStream",   When::StartUp,       NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupColorStream",   When::StartUp,       NodeKind::Color,  "color0",    Guard::None},
  {Op::ColorSetEnableColorMap,     "setupColorStream",   When::StartUp,       NodeKind::Color,  "color0",    Guard::None},
  {Op::ContextRequestControl,      "setupColorStream",   When::StartUp,       NodeKind::Color,  "color0",    Guard::DepthOrColour},
  {Op::NodeSetConfiguration,       "setupColorStream",   When::StartUp,       NodeKind::Color,  "color0",    Guard::DepthOrColour},
  {Op::NodeNewSampleReceivedEvent, "setupAudioStream",   When::StartUp,       NodeKind::Audio,  "audio0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupAudioStream",   When::StartUp,       NodeKind::Audio,  "audio0",    Guard::None},
  {Op::ContextRequestControl,      "setupAudioStream",   When::StartUp,       NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::NodeSetConfiguration,       "setupAudioStream",   When::StartUp,       NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::AudioSetInputMixerLevel,    "setupAudioStream",   When::StartUp,       NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::ContextRegisterNode,        "claimNode",          When::StartUp,       NodeKind::Depth,  "depth0",    Guard::None},
  {Op::ContextRegisterNode,        "claimNode",          When::StartUp,       NodeKind::Color,  "color0",    Guard::None},
  {Op::ContextRegisterNode,        "claimNode",          When::StartUp,       NodeKind::Audio,  "audio0",    Guard::None},
  {Op::ContextStartNodes,          "runViewer",          When::StartUp,       NodeKind::Depth,  "",          Guard::None},
  {Op::ContextRun,                 "runViewer",          When::StartUp,       NodeKind::Depth,  "",          Guard::None},

  {Op::ContextQuit,                "showColorFrame",     When::QuitKey,       NodeKind::Color,  "",          Guard::None},
  {Op::NodeIs,                     "handleNodeRemoved",  When::NodeLeaves,    NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeAs,                     "handleNodeRemoved",  When::NodeLeaves,    NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeUnset,                  "handleNodeRemoved",  When::NodeLeaves,    NodeKind::Color,  "color0",    Guard::None},
  {Op::DeviceNodeAddedEvent,       "handleDeviceAdded",  When::DeviceReturns, NodeKind::Depth,  "camera0",   Guard::None},
  {Op::DeviceNodeRemovedEvent,     "handleDeviceAdded",  When::DeviceReturns, NodeKind::Depth,  "camera0",   Guard::None},
  {Op::NodeIs,                     "claimNode",          When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::NodeReturns,   NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeAs,                     "claimNode",          When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::None},
  {Op::NodeNewSampleReceivedEvent, "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::DepthSetEnableVertices,     "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::DepthSetEnableDepthMap,     "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::ContextRequestControl,      "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::DepthOrColour},
  {Op::NodeSetConfiguration,       "setupDepthStream",   When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::DepthOrColour},
  {Op::NodeNewSampleReceivedEvent, "setupColorStream",   When::NodeReturns,   NodeKind::Color,  "color0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupColorStream",   When::NodeReturns,   NodeKind::Color,  "color0",    Guard::None},
  {Op::ColorSetEnableColorMap,     "setupColorStream",   When::NodeReturns,   NodeKind::Color,  "color0",    Guard::None},
  {Op::ContextRequestControl,      "setupColorStream",   When::NodeReturns,   NodeKind::Color,  "color0",    Guard::DepthOrColour},
  {Op::NodeSetConfiguration,       "setupColorStream",   When::NodeReturns,   NodeKind::Color,  "color0",    Guard::DepthOrColour},
  {Op::NodeNewSampleReceivedEvent, "setupAudioStream",   When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::None},
  {Op::NodeGetConfiguration,       "setupAudioStream",   When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::None},
  {Op::ContextRequestControl,      "setupAudioStream",   When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::NodeSetConfiguration,       "setupAudioStream",   When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::AudioSetInputMixerLevel,    "setupAudioStream",   When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::Audio},
  {Op::ContextRegisterNode,        "claimNode",          When::NodeReturns,   NodeKind::Depth,  "depth0",    Guard::None},
  {Op::ContextRegisterNode,        "claimNode",          When::NodeReturns,   NodeKind::Color,  "color0",    Guard::None},
  {Op::ContextRegisterNode,        "claimNode",          When::NodeReturns,   NodeKind::Audio,  "audio0",    Guard::None},

  {Op::ContextStopNodes,           "runViewer",          When::ShutDown,      NodeKind::Depth,  "",          Guard::None},
  {Op::ContextUnregisterNode,      "runViewer",          When::ShutDown,      NodeKind::Depth,  "color0",    Guard::None},
};

// Operations the viewer never calls; the coverage tests check that it indeed does not.
const Op kNeverCalled[] = {Op::ContextReleaseControl};

struct Failure {
  ExceptionKind kind;
  const char* className;  // as the program's error line names it
  const char* guardLine;  // what a setup routine's clause prints for it
};

const Failure kFailures[] = {
  {ExceptionKind::Argument,           "ArgumentException",           "Argument Exception: injected fault\n"},
  {ExceptionKind::UnauthorizedAccess, "UnauthorizedAccessException", "Unauthorized Access Exception: injected fault\n"},
  {ExceptionKind::IO,                 "IOException",                 "IO Exception: injected fault\n"},
  {ExceptionKind::InvalidOperation,   "InvalidOperationException",   "Invalid Operation Exception: injected fault\n"},
  {ExceptionKind::Configuration,      "ConfigurationException",      "Configuration Exception: injected fault\n"},
  {ExceptionKind::Streaming,          "StreamingException",          "Streaming Exception: injected fault\n"},
  {ExceptionKind::Timeout,            "TimeoutException",            "TimeoutException\n"},
};
// clang-format on

// Failure messages name the row, not its bytes.
void PrintTo(const CallSite& site, std::ostream* out) {
  *out << site.caller << " " << CamSdk::testing::operationName(site.operation) << " "
       << site.subject;
}
void PrintTo(const Failure& failure, std::ostream* out) { *out << failure.className; }

bool guardCatches(Guard guard, ExceptionKind kind) {
  switch (guard) {
    case Guard::None:
      return false;
    case Guard::DepthOrColour:
      return true;
    case Guard::Audio:
      return kind != ExceptionKind::IO && kind != ExceptionKind::InvalidOperation;
  }
  return false;
}

const char* nodeName(NodeKind kind) {
  switch (kind) {
    case NodeKind::Depth:
      return "depth0";
    case NodeKind::Color:
      return "color0";
    default:
      return "audio0";
  }
}

// The simulated moments of a run. The key q is pressed once the loop-time events are over; a
// run still going at the watchdog's time would otherwise never end.
const milliseconds kNodeOrDeviceLeaves{200};
const milliseconds kNodeOrDeviceReturns{300};
const milliseconds kQuitKeyPressed{600};
const milliseconds kWatchdog{20000};

// What the scenario actions saw, read after the run.
struct RunLog {
  std::optional<std::size_t> armedAtCall;  // the call log's length when the fault was armed
  bool watchdogFired = false;
};

std::string callLogEntry(Op operation, const std::string& subject) {
  std::string entry = CamSdk::testing::operationName(operation);
  if (!subject.empty()) entry += " " + subject;
  return entry;
}

std::string operationOf(const std::string& entry) { return entry.substr(0, entry.find(' ')); }

// The first call of `operation` from `from` on, or "" when there was none.
std::string firstCallOf(const std::vector<std::string>& calls, std::size_t from, Op operation) {
  const std::string name = CamSdk::testing::operationName(operation);
  for (std::size_t i = from; i < calls.size(); ++i) {
    if (operationOf(calls[i]) == name) return calls[i];
  }
  return "";
}

bool hasAnyGuardLine(const std::string& output) {
  return std::any_of(std::begin(kFailures), std::end(kFailures), [&output](const Failure& each) {
    return output.find(each.guardLine) != std::string::npos;
  });
}

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

class FaultSweepTest : public ViewerRunTest,
                       public testing::WithParamInterface<std::tuple<CallSite, Failure>> {
 protected:
  // Builds the camera the call site needs and arms the fault at its moment.
  void prepare(const CallSite& site, const Failure& failure, RunLog* log) {
    const bool kindFirst = site.when == When::StartUp && site.node != NodeKind::Depth;
    Scenario& camera = freshScenario(kindFirst ? Topology::Empty : Topology::OneCamera);
    if (kindFirst) {
      std::vector<NodeKind> kinds{NodeKind::Depth, NodeKind::Color, NodeKind::Audio};
      std::rotate(kinds.begin(), std::find(kinds.begin(), kinds.end(), site.node), kinds.end());
      camera.addDevice("camera0", kinds);
    }

    auto arm = [operation = site.operation, kind = failure.kind, log](Scenario& s) {
      log->armedAtCall = s.calls().size();
      s.failNext(operation, kind, 1, kMessage);
    };
    const std::string node = nodeName(site.node);
    switch (site.when) {
      case When::StartUp:
      case When::QuitKey:
      case When::ShutDown:
        arm(camera);
        break;
      case When::NodeLeaves:
        camera.at(kNodeOrDeviceLeaves, [arm, node](Scenario& s) {
          arm(s);
          s.unplugNode(s.findNode(node));
        });
        break;
      case When::NodeReturns:
        camera.at(kNodeOrDeviceLeaves, [node](Scenario& s) { s.unplugNode(s.findNode(node)); });
        camera.at(kNodeOrDeviceReturns, [arm, node](Scenario& s) {
          arm(s);
          s.plugNode(s.findNode(node));
        });
        break;
      case When::DeviceReturns:
        camera.at(kNodeOrDeviceLeaves,
                  [](Scenario& s) { s.unplugDevice(s.findDevice("camera0")); });
        camera.at(kNodeOrDeviceReturns, [arm](Scenario& s) {
          arm(s);
          s.plugDevice(s.findDevice("camera0"));
        });
        break;
    }
    pressQuitAt(kQuitKeyPressed);
    armWatchdog(kWatchdog, &log->watchdogFired);
  }
};

TEST_P(FaultSweepTest, EndsTheWayItsCallSiteDemands) {
  const CallSite& site = std::get<0>(GetParam());
  const Failure& failure = std::get<1>(GetParam());
  RunLog log;
  prepare(site, failure, &log);

  const ProgramRun run = runProgramAsMainDoes();

  EXPECT_FALSE(log.watchdogFired) << "the viewer did not end when q was pressed";
  // The fault struck the call site this row names, not another call of the same operation.
  ASSERT_TRUE(log.armedAtCall.has_value()) << "the run never reached the moment of the fault";
  EXPECT_EQ(firstCallOf(scenario().calls(), *log.armedAtCall, site.operation),
            callLogEntry(site.operation, site.subject));

  if (guardCatches(site.guard, failure.kind)) {
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(occurrences(run.output, failure.guardLine), 1u) << run.output;
    // The routine returned normally, so the node was registered all the same.
    EXPECT_EQ(firstCallOf(scenario().calls(), *log.armedAtCall, Op::ContextRegisterNode),
              callLogEntry(Op::ContextRegisterNode, site.subject));
    EXPECT_EQ(run.errors, "");
  } else {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors,
              std::string("depth-viewer: ") + failure.className + ": " + kMessage + "\n");
    EXPECT_FALSE(hasAnyGuardLine(run.output)) << run.output;
  }
}

const char* whenName(When when) {
  switch (when) {
    case When::StartUp:
      return "StartUp";
    case When::QuitKey:
      return "QuitKey";
    case When::ShutDown:
      return "ShutDown";
    case When::NodeLeaves:
      return "NodeLeaves";
    case When::NodeReturns:
      return "NodeReturns";
    case When::DeviceReturns:
      return "DeviceReturns";
  }
  return "";
}

std::string testName(const testing::TestParamInfo<std::tuple<CallSite, Failure>>& info) {
  const CallSite& site = std::get<0>(info.param);
  std::string name = std::string(whenName(site.when)) + "_" + site.caller + "_" +
                     CamSdk::testing::operationName(site.operation) + "_" + site.subject + "_" +
                     std::get<1>(info.param).className;
  std::replace_if(
      name.begin(), name.end(),
      [](char c) { return std::isalnum(static_cast<unsigned char>(c)) == 0; }, '_');
  name.erase(
      std::unique(name.begin(), name.end(), [](char a, char b) { return a == '_' && b == '_'; }),
      name.end());
  return name;
}

INSTANTIATE_TEST_SUITE_P(EveryCallSite, FaultSweepTest,
                         testing::Combine(testing::ValuesIn(kCallSites),
                                          testing::ValuesIn(kFailures)),
                         testName);

// The table against the viewer: every operation the SDK can fail is either listed or never
// called, and a tour through everything the viewer follows (start-up, each node and the camera
// leaving and returning, q) calls exactly the operations the table lists.
class CallSiteCoverageTest : public ViewerRunTest {};

std::set<std::string> tableOperations() {
  std::set<std::string> names;
  for (const CallSite& site : kCallSites)
    names.insert(CamSdk::testing::operationName(site.operation));
  return names;
}

TEST_F(CallSiteCoverageTest, EveryFailingOperationIsListedOrNeverCalled) {
  const std::set<std::string> listed = tableOperations();
  for (Op operation : CamSdk::testing::allOperations()) {
    const bool neverCalled = std::find(std::begin(kNeverCalled), std::end(kNeverCalled),
                                       operation) != std::end(kNeverCalled);
    EXPECT_NE(listed.count(CamSdk::testing::operationName(operation)) == 1, neverCalled)
        << CamSdk::testing::operationName(operation)
        << " must be in exactly one of the fault table and the never-called list";
  }
}

TEST_F(CallSiteCoverageTest, TheViewerCallsExactlyTheListedOperations) {
  Scenario& camera = freshScenario(Topology::OneCamera);
  int step = 1;
  for (const char* node : {"depth0", "color0", "audio0"}) {
    camera.at(milliseconds(200 * step++), [node](Scenario& s) { s.unplugNode(s.findNode(node)); });
    camera.at(milliseconds(200 * step++), [node](Scenario& s) { s.plugNode(s.findNode(node)); });
  }
  camera.at(milliseconds(200 * step++),
            [](Scenario& s) { s.unplugDevice(s.findDevice("camera0")); });
  camera.at(milliseconds(200 * step++), [](Scenario& s) { s.plugDevice(s.findDevice("camera0")); });
  pressQuitAt(milliseconds(200 * step++));
  RunLog log;
  armWatchdog(kWatchdog, &log.watchdogFired);

  const ProgramRun run = runProgramAsMainDoes();
  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_FALSE(log.watchdogFired);

  std::set<std::string> called;
  for (const std::string& entry : camera.calls()) called.insert(operationOf(entry));
  EXPECT_EQ(called, tableOperations());
}

}  // namespace
}  // namespace reliability
