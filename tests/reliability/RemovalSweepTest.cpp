// Nodes and cameras that go away at any moment. For each node kind, the node (and, in other
// runs, its whole camera) is unplugged just before each SDK call the viewer makes to claim it:
// at start-up, when the node comes back while the loop runs, and just before it is given back
// at the end. The camera service runs in process on the virtual clock, and, for the calls made
// while the loop runs, in a service thread reached over ZeroMQ on the real clock; there the
// whole service also says goodbye just before a call, and goes on serving.
//
// The viewer must never end early: it prints at most the struck setup routine's line besides
// the disconnect lines, ends with status 0 on q, and claims the node again when it returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "DisplayStandIn.h"
#include "ProgramRun.h"
#include "ViewerRunTest.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "server/ServiceServer.h"
#include "testing/ScenarioAccess.h"
#include "viewer/ViewerState.h"

namespace reliability {
namespace {

using CamSdk::NodeKind;
using CamSdk::testing::Scenario;
using CamSdk::testing::Topology;
using Op = CamSdk::testing::SdkOperation;
using std::chrono::milliseconds;

enum class Phase { StartUp, Returning, ShutDown };
enum class Removed { Node, Device, Service };  // the service says goodbye, and serves anew
enum class Transport { InProcess, ZeroMq };

// The moments of a run. On the real clock the viewer must be streaming before the first.
const milliseconds kNodeLeaves{300};
const milliseconds kNodeReturns{400};  // the claim the sweep strikes when the loop runs
const milliseconds kRemovedReturns{600};
const milliseconds kQuitKeyPressed{900};
const milliseconds kWatchdog{20000};

const char* nodeName(NodeKind kind) {
  return kind == NodeKind::Depth ? "depth0" : kind == NodeKind::Color ? "color0" : "audio0";
}

// One call of the viewer's: which operation, and how many calls of that operation come between
// the moment the sweep arms its hook and this one.
struct CallSite {
  Op operation;
  int callsToPass;
  std::string entry;  // as the call log names it
};

std::string operationOf(const std::string& entry) { return entry.substr(0, entry.find(' ')); }
std::string subjectOf(const std::string& entry) {
  const std::size_t space = entry.find(' ');
  return space == std::string::npos ? "" : entry.substr(space + 1);
}

std::size_t indexOf(const std::vector<std::string>& calls, std::size_t from,
                    const std::string& entry) {
  return static_cast<std::size_t>(
      std::find(calls.begin() + static_cast<long>(from), calls.end(), entry) - calls.begin());
}

// The calls on `node` from `from` up to and including `last`.
std::vector<CallSite> callsOn(const std::vector<std::string>& calls, std::size_t from,
                              const std::string& node, const std::string& last) {
  std::vector<CallSite> sites;
  std::map<std::string, int> seen;
  const std::size_t end = std::min(calls.size(), indexOf(calls, from, last) + 1);
  for (std::size_t i = from; i < end; ++i) {
    const std::string operation = operationOf(calls[i]);
    const int before = seen[operation]++;
    Op op;
    if (subjectOf(calls[i]) == node && CamSdk::testing::operationFromName(operation, &op)) {
      sites.push_back(CallSite{op, before, calls[i]});
    }
  }
  return sites;
}

std::string callsSince(const std::vector<std::string>& calls, std::size_t from) {
  std::string listed;
  for (std::size_t i = from; i < calls.size(); ++i) listed += "  " + calls[i] + "\n";
  return listed;
}

struct SweepCase {
  NodeKind kind;
  Phase phase;
  Removed removed;
  Transport transport;
};

// What the scenario saw during a run; written by the service's thread, read after it stopped.
struct RunLog {
  bool removedAtCall = false;
  bool watchdogFired = false;
  std::size_t callsWhenBack = 0;
  int samplesWhenBack = 0;
};

class RemovalSweepTest : public ViewerRunTest, public testing::WithParamInterface<SweepCase> {
 protected:
  void TearDown() override {
    stopServing();
    unsetenv("CAMSDK_ENDPOINT");
    ViewerRunTest::TearDown();
  }

  // Every call the viewer makes to claim `kind`'s node and to give it back, from a run where
  // nothing is struck: the node leaves and returns once while the loop runs.
  std::vector<CallSite> callSites(Phase phase) {
    const std::string node = nodeName(GetParam().kind);
    std::size_t returnMark = 0, quitMark = 0;
    Scenario& camera = freshScenario(Topology::OneCamera);
    camera.at(kNodeLeaves, [&node](Scenario& s) { s.unplugNode(s.findNode(node)); });
    camera.at(kNodeReturns, [&node, &returnMark](Scenario& s) {
      returnMark = s.calls().size();
      s.plugNode(s.findNode(node));
    });
    camera.at(kQuitKeyPressed, [&quitMark](Scenario& s) {
      quitMark = s.calls().size();
      displayStandIn::scriptKeys({'q', 'q', 'q', 'q'});
    });
    const ProgramRun run = runProgramAsMainDoes();
    EXPECT_EQ(run.status, 0) << run.errors;
    const std::vector<std::string> calls = camera.calls();
    startOver();

    const std::string registered = "Context::registerNode " + node;
    switch (phase) {
      case Phase::StartUp:
        return callsOn(calls, 0, node, registered);
      case Phase::Returning:
        return callsOn(calls, returnMark, node, registered);
      case Phase::ShutDown:
        return callsOn(calls, quitMark, node, "Context::unregisterNode " + node);
    }
    return {};
  }

  // One run with the node or its camera unplugged just before `site`.
  void sweep(const CallSite& site) {
    const SweepCase& c = GetParam();
    const std::string node = nodeName(c.kind);
    Scenario& camera = c.transport == Transport::InProcess ? freshScenario(Topology::OneCamera)
                                                           : serveOverZeroMq();
    RunLog log;

    auto remove = [this, &c, &node, &log](Scenario& s) {
      log.removedAtCall = true;
      if (c.removed == Removed::Node) {
        s.unplugNode(s.findNode(node));
      } else if (c.removed == Removed::Device) {
        s.unplugDevice(s.findDevice("camera0"));
      } else {
        server_->sayGoodbye("stopping");
      }
    };
    auto strike = [&site, remove](Scenario& s) {
      s.beforeCall(site.operation, site.callsToPass, remove);
    };
    switch (c.phase) {
      case Phase::StartUp:
        strike(camera);
        break;
      case Phase::Returning:
        camera.at(kNodeLeaves, [&node](Scenario& s) { s.unplugNode(s.findNode(node)); });
        camera.at(kNodeReturns, [strike, &node](Scenario& s) {
          strike(s);
          s.plugNode(s.findNode(node));
        });
        break;
      case Phase::ShutDown:
        break;
    }
    if (c.phase != Phase::ShutDown) {
      camera.at(kRemovedReturns, [&c, &node, &log](Scenario& s) {
        if (c.removed == Removed::Node) {
          s.plugNode(s.findNode(node));
        } else if (c.removed == Removed::Device) {
          s.plugDevice(s.findDevice("camera0"));
        }
        log.callsWhenBack = s.calls().size();
        log.samplesWhenBack = s.samplesDelivered(s.findNode(node));
      });
    }
    // A client whose service said goodbye asks again after a second.
    const milliseconds quitAt =
        c.removed == Removed::Service ? kQuitKeyPressed + milliseconds(2000) : kQuitKeyPressed;
    camera.at(quitAt, [strike, phase = c.phase](Scenario& s) {
      if (phase == Phase::ShutDown) strike(s);
      displayStandIn::scriptKeys({'q', 'q', 'q', 'q'});
    });
    // On the real clock the loop runs in this thread and the actions in the service's: only
    // the keys, which the display stand-in hands over under a lock, may end a stuck run.
    camera.at(kWatchdog, [&log, inProcess = c.transport == Transport::InProcess](Scenario&) {
      log.watchdogFired = true;
      if (inProcess) ViewerState.context.quit();
      displayStandIn::scriptKeys({'q', 'q', 'q', 'q'});
    });

    const ProgramRun run = runProgramAsMainDoes();
    stopServing();
    const std::vector<std::string> calls = camera.calls();
    const int samplesAtEnd = camera.samplesDelivered(camera.findNode(node));

    EXPECT_TRUE(log.removedAtCall) << "the run never made the call";
    EXPECT_FALSE(log.watchdogFired) << "the viewer did not end when q was pressed";
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.errors, "");
    // A camera gone at start-up leaves every routine still to run on a node that has gone.
    const int routinesStruck = c.removed != Removed::Node && c.phase == Phase::StartUp ? 3 : 1;
    expectOnlyDisconnectsAndRoutineLines(run.output, routinesStruck);
    if (c.phase != Phase::ShutDown) {
      EXPECT_LT(indexOf(calls, log.callsWhenBack, "Context::registerNode " + node), calls.size())
          << "the node was not claimed again when it returned";
      EXPECT_GT(samplesAtEnd, log.samplesWhenBack)
          << "the node did not stream again; calls since it returned:\n"
          << callsSince(calls, log.callsWhenBack) << "output:\n"
          << run.output;
    }
    startOver();
  }

  static void expectOnlyDisconnectsAndRoutineLines(const std::string& output, int routines) {
    static const char* const kRoutineLines[] = {"Argument Exception: ",
                                                "Unauthorized Access Exception: ",
                                                "IO Exception: ",
                                                "Invalid Operation Exception: ",
                                                "Configuration Exception: ",
                                                "Streaming Exception: ",
                                                "TimeoutException"};
    int routineLines = 0;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
      if (line == "Found 3 nodes" || line == "Node disconnected" || line == "Device disconnected")
        continue;
      const bool routine =
          std::any_of(std::begin(kRoutineLines), std::end(kRoutineLines),
                      [&line](const char* prefix) { return line.rfind(prefix, 0) == 0; });
      EXPECT_TRUE(routine) << "unexpected line: " << line;
      routineLines += routine ? 1 : 0;
    }
    EXPECT_LE(routineLines, routines) << output;
  }

 private:
  void startOver() {
    ViewerRunTest::TearDown();
    ViewerRunTest::SetUp();
  }

  // A service on the real clock in a thread of its own, which the viewer reaches through
  // ZeroMQ at its local endpoint.
  Scenario& serveOverZeroMq() {
    Scenario& camera = freshScenario(Topology::OneCamera, false, "removal-sweep");
    CamSdk::server::ServerOptions options;
    // A fresh loopback port for each run: no socket file that the last run's server, closing
    // in ZeroMQ's own thread, could take away from this one.
    options.endpoint = "tcp://127.0.0.1:*";
    server_ = std::make_unique<CamSdk::server::ServiceServer>(
        CamSdk::detail::ScenarioAccess::serviceOf(camera), options);
    setenv("CAMSDK_ENDPOINT", server_->boundEndpoint().c_str(), 1);
    stop_ = false;
    thread_ = std::thread([this] { server_->run(stop_); });
    return camera;
  }

  void stopServing() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    server_.reset();
  }

  std::unique_ptr<CamSdk::server::ServiceServer> server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_P(RemovalSweepTest, TheViewerCarriesOnAndClaimsTheNodeAgain) {
  const std::vector<CallSite> sites = callSites(GetParam().phase);
  ASSERT_FALSE(sites.empty());
  for (const CallSite& site : sites) {
    SCOPED_TRACE("unplugged before " + site.entry + " (after " + std::to_string(site.callsToPass) +
                 " like it)");
    sweep(site);
  }
}

std::vector<SweepCase> sweepCases() {
  std::vector<SweepCase> cases;
  for (NodeKind kind : {NodeKind::Depth, NodeKind::Color, NodeKind::Audio}) {
    for (Removed removed : {Removed::Node, Removed::Device}) {
      for (Phase phase : {Phase::StartUp, Phase::Returning, Phase::ShutDown}) {
        cases.push_back({kind, phase, removed, Transport::InProcess});
      }
      // Over the wire the notices race the replies for real; the loop-time claim shows it.
      cases.push_back({kind, Phase::Returning, removed, Transport::ZeroMq});
    }
  }
  // The service leaving mid-claim (each run takes seconds on the real clock, so two): at
  // start-up, before the calls on the first node claimed, and while the loop runs, before the
  // calls on audio, whose clause list has no IOException.
  cases.push_back({NodeKind::Depth, Phase::StartUp, Removed::Service, Transport::ZeroMq});
  cases.push_back({NodeKind::Audio, Phase::Returning, Removed::Service, Transport::ZeroMq});
  return cases;
}

std::string caseName(const testing::TestParamInfo<SweepCase>& info) {
  const SweepCase& c = info.param;
  const char* phases[] = {"StartUp", "Returning", "ShutDown"};
  return std::string(nodeName(c.kind)) + "_" + phases[static_cast<int>(c.phase)] +
         (c.removed == Removed::Node     ? "_Node"
          : c.removed == Removed::Device ? "_Device"
                                         : "_Service") +
         (c.transport == Transport::InProcess ? "_InProcess" : "_ZeroMq");
}

INSTANTIATE_TEST_SUITE_P(EachKindPhaseAndTransport, RemovalSweepTest,
                         testing::ValuesIn(sweepCases()), caseName);

}  // namespace
}  // namespace reliability
