// A long run of the viewer on the virtual clock: depth, colour and audio stream all the time,
// every few seconds a node or the whole camera goes away and comes back, and a second context
// competes for control of the nodes. The run must leave memory where it found it: the SDK's count
// of live handlers and referenced sample buffers, and the process's resident size, are the same
// late in the run as early in it, and after the run every handler has been deleted exactly once.
//
// The simulated length is DV_LONG_RUN_SECONDS (default 240, enough for many rounds of every
// change while keeping the test short); set it to 3600 for a simulated hour.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "DisplayStandIn.h"
#include "ProgramRun.h"
#include "ViewerRunTest.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"

namespace reliability {
namespace {

using CamSdk::testing::Scenario;
using CamSdk::testing::Topology;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr long kKiB = 1024;

// AddressSanitizer holds freed blocks in quarantine (hundreds of MiB) before reusing them, so the
// resident size only says something without it; leaks are then LeakSanitizer's to find.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kResidentSizeMeaningful = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kResidentSizeMeaningful = false;
#else
constexpr bool kResidentSizeMeaningful = true;
#endif
#else
constexpr bool kResidentSizeMeaningful = true;
#endif

long simulatedSeconds() {
  const char* configured = std::getenv("DV_LONG_RUN_SECONDS");
  const long value = configured != nullptr ? std::atol(configured) : 0;
  return value > 0 ? value : 240;
}

// The resident set size, from the kernel's view of this process.
long residentKiB() {
  long pages = 0;
  long resident = 0;
  if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(statm);
  }
  return resident * sysconf(_SC_PAGESIZE) / kKiB;
}

struct Checkpoint {
  double at;  // seconds on the service clock
  long handlers;
  long buffers;
  long residentKiB;
};

// The rounds of changes. Round n starts at kFirstRound + n * kRound and changes, in turn, the
// colour node, the depth node, the audio node and the whole camera: gone at the start of the
// round, back a second later. In odd rounds a rival context takes control of the returning node
// (the colour node when the camera returns) before the viewer claims it, and gives it back a
// second later. In rounds that return the colour node to the viewer, a contender asks for control
// of it while the viewer holds it and must be refused.
const seconds kFirstRound{10};
const seconds kRound{4};
const milliseconds kBack{1000};
const milliseconds kRivalLeaves{2000};
const milliseconds kContenderTries{3000};
constexpr int kRoundsPerPattern = 4;

enum class Change { Color, Depth, Audio, Camera };

Change changeOf(long round) { return static_cast<Change>(round % kRoundsPerPattern); }

const char* nodeMoved(Change change) {
  switch (change) {
    case Change::Depth:
      return "depth0";
    case Change::Audio:
      return "audio0";
    default:
      return "color0";
  }
}

CamSdk::Node nodeNamed(CamSdk::Context& context, const std::string& name) {
  for (const CamSdk::Node& node : context.listDevices().at(0).listNodes()) {
    if (node.name() == name) return node;
  }
  return CamSdk::Node();
}

// What the actions did and saw, for the checks after the run.
struct Tally {
  int rounds[kRoundsPerPattern] = {};
  int rivalGrabs = 0;
  int contenderTries = 0;
  int contenderRefusals = 0;
  std::optional<CamSdk::Context> rival;
  std::vector<Checkpoint> checkpoints;
  bool watchdogFired = false;
};

std::size_t countOf(const std::string& text, const std::string& line) {
  std::size_t count = 0;
  for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
    ++count;
  }
  return count;
}

class LongRunTest : public ViewerRunTest {
 protected:
  void scheduleRound(long round, Tally* tally) {
    const seconds start = kFirstRound + kRound * round;
    const Change change = changeOf(round);
    const std::string node = nodeMoved(change);
    const bool rivalGrabs = round % 2 == 1;
    Scenario& camera = scenario();

    camera.at(start, [change, node, tally](Scenario& s) {
      ++tally->rounds[static_cast<int>(change)];
      if (change == Change::Camera) {
        s.unplugDevice(s.findDevice("camera0"));
      } else {
        s.unplugNode(s.findNode(node));
      }
    });
    camera.at(start + kBack, [change, node, rivalGrabs, tally](Scenario& s) {
      if (change == Change::Camera) {
        s.plugDevice(s.findDevice("camera0"));
      } else {
        s.plugNode(s.findNode(node));
      }
      if (!rivalGrabs) return;
      // The rival asks before the viewer hears that the node is back.
      tally->rival = CamSdk::Context::create("localhost");
      tally->rival->requestControl(nodeNamed(*tally->rival, node), 0);
      ++tally->rivalGrabs;
    });
    if (rivalGrabs) {
      // Dropping the rival's last handle gives its control back.
      camera.at(start + kRivalLeaves, [tally](Scenario&) { tally->rival.reset(); });
    }
    if (change == Change::Color && !rivalGrabs) {
      camera.at(start + kContenderTries, [tally](Scenario&) {
        CamSdk::Context contender = CamSdk::Context::create("localhost");
        ++tally->contenderTries;
        try {
          contender.requestControl(nodeNamed(contender, "color0"), 0);
        } catch (const CamSdk::UnauthorizedAccessException&) {
          ++tally->contenderRefusals;
        }
      });
    }
    // Memory is measured at the same point of every pattern of rounds, with everything plugged.
    if (round % kRoundsPerPattern == 0) {
      camera.at(start - milliseconds(500), [tally](Scenario& s) {
        const double at = std::chrono::duration<double>(s.now()).count();
        tally->checkpoints.push_back(
            {at, CamSdk::detail::EventAccess::liveHandlers(), s.liveBuffers(), residentKiB()});
      });
    }
  }
};

TEST_F(LongRunTest, MemoryReturnsToItsLevelAndEveryChangeIsFollowed) {
  const long length = simulatedSeconds();
  freshScenario(Topology::OneCamera);
  Tally tally;
  // Only whole rounds, so that the run ends with everything plugged and no rival.
  const long rounds = (length - kFirstRound.count()) / kRound.count();
  for (long round = 0; round < rounds; ++round) scheduleRound(round, &tally);
  const seconds end = kFirstRound + kRound * rounds;
  pressQuitAt(end);
  armWatchdog(end + seconds(30), &tally.watchdogFired);

  const ProgramRun run = runProgramAsMainDoes();

  ASSERT_EQ(run.status, 0) << run.errors;
  ASSERT_FALSE(tally.watchdogFired);
  const int colorRounds = tally.rounds[static_cast<int>(Change::Color)];
  const int depthRounds = tally.rounds[static_cast<int>(Change::Depth)];
  const int audioRounds = tally.rounds[static_cast<int>(Change::Audio)];
  const int cameraRounds = tally.rounds[static_cast<int>(Change::Camera)];
  ASSERT_EQ(colorRounds + depthRounds + audioRounds + cameraRounds, rounds);

  // Every change was followed, and refused control was reported, once each, and nothing else.
  const std::size_t nodeLines =
      static_cast<std::size_t>(colorRounds + depthRounds + audioRounds + 3 * cameraRounds);
  EXPECT_EQ(countOf(run.output, "Node disconnected\n"), nodeLines);
  EXPECT_EQ(countOf(run.output, "Device disconnected\n"), static_cast<std::size_t>(cameraRounds));
  EXPECT_EQ(countOf(run.output, "Unauthorized Access Exception: "),
            static_cast<std::size_t>(tally.rivalGrabs));
  EXPECT_EQ(countOf(run.output, "\n"),
            1 + nodeLines + static_cast<std::size_t>(cameraRounds + tally.rivalGrabs));
  EXPECT_EQ(run.output.rfind("Found 3 nodes\n", 0), 0u);
  EXPECT_GT(tally.contenderTries, 0);
  EXPECT_EQ(tally.contenderRefusals, tally.contenderTries);

  // The pictures kept coming: colour and depth are away for at most one second in eight.
  const int minimumFrames = static_cast<int>(20 * end.count());
  EXPECT_GE(displayStandIn::showCount("Color Camera"), minimumFrames);
  EXPECT_GE(displayStandIn::showCount("Depth Camera"), minimumFrames);
  EXPECT_GT(scenario().samplesDelivered(scenario().findNode("audio0")), 0);

  // Memory: the first checkpoint comes after one of each change; every later one must match it.
  ASSERT_GE(tally.checkpoints.size(), 3u);
  const Checkpoint& first = tally.checkpoints[1];
  const Checkpoint& last = tally.checkpoints.back();
  for (std::size_t i = 1; i < tally.checkpoints.size(); ++i) {
    const Checkpoint& each = tally.checkpoints[i];
    EXPECT_EQ(each.handlers, first.handlers) << "at " << each.at << " s";
    EXPECT_EQ(each.buffers, first.buffers) << "at " << each.at << " s";
  }
  // The allocator may keep a few pages, and the SDK's call log fills up to its bound; a leak of
  // even one buffer a round would pass this by far.
  const long slackKiB = 2048;
  if (kResidentSizeMeaningful) {
    EXPECT_LE(last.residentKiB, first.residentKiB + slackKiB);
  }
  RecordProperty("simulated_seconds", static_cast<int>(end.count()));
  std::printf(
      "simulated %lld s, %d rounds; at %.1f s: %ld handlers, %ld buffers, %ld KiB resident;"
      " at %.1f s: %ld handlers, %ld buffers, %ld KiB resident; peak %ld KiB\n",
      static_cast<long long>(end.count()), static_cast<int>(rounds), first.at, first.handlers,
      first.buffers, first.residentKiB, last.at, last.handlers, last.buffers, last.residentKiB,
      std::max_element(
          tally.checkpoints.begin(), tally.checkpoints.end(),
          [](const Checkpoint& a, const Checkpoint& b) { return a.residentKiB < b.residentKiB; })
          ->residentKiB);
}

}  // namespace
}  // namespace reliability
