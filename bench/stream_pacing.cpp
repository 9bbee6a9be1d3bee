// How evenly the simulated service delivers on the real clock: the viewer's own set-up and
// handlers (the display replaced by calls that do nothing) stream colour, depth and audio for
// a fixed time, and the arrival of each colour and depth sample k is compared with the ideal
// timetable start + k / 25 s, where start is the moment the event loop is entered. Prints the rate
// actually delivered, the worst lag, the lag at the end (a drifting clock shows there), the samples
// skipped, how soon the first sample came, and the process's CPU use.
//
//   stream_pacing [--seconds N] [--play FILE.mkv]     (60 s by default)
//
// With --play the samples come from a recording (played in a loop) instead of the simulated
// camera: the same figures then show how evenly playback keeps the recorded times.
//
// Not a Google Benchmark program: one long run on the wall clock is the measurement.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <tuple>
#include <vector>

#include "PacingAnalysis.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "viewer/FrameSizedBlocks.h"
#include "viewer/NodeDispatch.h"
#include "viewer/ViewerState.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kVideoPerSecond = 25;  // what the viewer asks for
constexpr int kAudioBlocksPerSecond = 50;
constexpr double kRateTolerance = 0.005;

struct Recorded {
  std::vector<SteadyClock::time_point> depthTimes;
  std::vector<SteadyClock::time_point> colourTimes;
  std::vector<pacing::Arrival> depth;  // times filled in after the run
  std::vector<pacing::Arrival> colour;
  std::int64_t audioBlocks = 0;
  std::int64_t audioSkipped = 0;
};

Recorded recorded;

// Connected before the viewer's own handlers, so the time taken is the delivery time rather
// than the end of the viewer's work on the sample.
void recordDepth(CamSdk::DepthNode, CamSdk::DepthNode::NewSampleReceivedData data) {
  recorded.depthTimes.push_back(SteadyClock::now());
  recorded.depth.push_back({data.sampleIndex, data.droppedSampleCount, 0.0});
}
void recordColour(CamSdk::ColorNode, CamSdk::ColorNode::NewSampleReceivedData data) {
  recorded.colourTimes.push_back(SteadyClock::now());
  recorded.colour.push_back({data.sampleIndex, data.droppedSampleCount, 0.0});
}
void recordAudio(CamSdk::AudioNode, CamSdk::AudioNode::NewSampleReceivedData data) {
  ++recorded.audioBlocks;
  recorded.audioSkipped += data.droppedSampleCount;
}

void connectRecorder(CamSdk::Node node) {
  if (node.is<CamSdk::DepthNode>()) {
    node.as<CamSdk::DepthNode>().newSampleReceivedEvent().connectFunction(recordDepth);
  } else if (node.is<CamSdk::ColorNode>()) {
    node.as<CamSdk::ColorNode>().newSampleReceivedEvent().connectFunction(recordColour);
  } else if (node.is<CamSdk::AudioNode>()) {
    node.as<CamSdk::AudioNode>().newSampleReceivedEvent().connectFunction(recordAudio);
  }
}

double millisecondsBetween(SteadyClock::time_point from, SteadyClock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// Prints one stream's figures; returns whether its rate is within the target.
bool reportStream(const char* name, SteadyClock::time_point start,
                  const std::vector<SteadyClock::time_point>& times,
                  std::vector<pacing::Arrival>& arrivals) {
  for (std::size_t i = 0; i < arrivals.size(); ++i) {
    arrivals[i].millisecondsSinceStart = millisecondsBetween(start, times[i]);
  }
  pacing::Figures figures;
  if (!pacing::analyse(arrivals, kVideoPerSecond, &figures)) {
    std::printf("%-7s too few samples arrived for a rate\n", name);
    return false;
  }
  const bool within = pacing::rateWithin(figures.perSecond, kVideoPerSecond, kRateTolerance);
  std::printf(
      "%-7s %6zu samples over %8.3f s: %8.4f per second (%+.3f %%, %s)\n"
      "        lag behind start + k/25 s: worst %.3f ms (sample %lld), at the end %.3f ms, median "
      "%.3f ms, "
      "earliest %.3f ms; skipped %lld\n"
      "        median lag in the first second %.3f ms, in the last second %.3f ms\n",
      name, figures.samples, figures.spanSeconds, figures.perSecond,
      100.0 * (figures.perSecond / kVideoPerSecond - 1.0),
      within ? "within 25 +/- 0.5 %" : "OUTSIDE 25 +/- 0.5 %", figures.worstLag,
      static_cast<long long>(figures.worstLagSample), figures.endLag, figures.medianLag,
      figures.earliestLag, static_cast<long long>(figures.skipped), figures.firstSecondMedianLag,
      figures.lastSecondMedianLag);
  return within;
}

int parseArguments(int argc, char** argv, std::string* recording) {
  int seconds = 60;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--seconds" && i + 1 < argc) {
      seconds = std::atoi(argv[++i]);
    } else if (argument == "--play" && i + 1 < argc) {
      *recording = argv[++i];
    } else {
      return -1;
    }
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  // The heap as the viewer sets it up at start-up.
  keepFrameSizedBlocksInHeap();
  std::string recording;
  const int seconds = parseArguments(argc, argv, &recording);
  if (seconds <= 0) {
    std::fprintf(stderr, "usage: %s [--seconds N] [--play FILE.mkv]   (N > 0, 60 by default)\n",
                 argv[0]);
    return 2;
  }
  const std::size_t expected = static_cast<std::size_t>(seconds) * kVideoPerSecond + 2;
  recorded.depthTimes.reserve(expected);
  recorded.colourTimes.reserve(expected);
  recorded.depth.reserve(expected);
  recorded.colour.reserve(expected);

  CamSdk::testing::Scenario scenario = CamSdk::testing::Scenario::fresh(
      recording.empty() ? CamSdk::testing::Topology::OneCamera : CamSdk::testing::Topology::Empty,
      false);
  if (!recording.empty()) scenario.addRecording("recording", recording, true);
  ViewerState.context = CamSdk::Context::create("localhost");
  for (CamSdk::Node node : ViewerState.context.listDevices().at(0).listNodes()) {
    connectRecorder(node);
    claimNode(node);
  }
  scenario.at(scenario.now() + std::chrono::seconds(seconds),
              [](CamSdk::testing::Scenario&) { ViewerState.context.quit(); });

  std::printf("streaming %s for %d s on the real clock, viewer handlers with a null display\n",
              recording.empty() ? "the simulated camera" : recording.c_str(), seconds);
  std::fflush(stdout);
  const std::clock_t cpuStart = std::clock();
  const SteadyClock::time_point wallStart = SteadyClock::now();
  ViewerState.context.startNodes();
  // The first samples are due on the loop's first turn.
  const SteadyClock::time_point loopStart = SteadyClock::now();
  ViewerState.context.run();
  ViewerState.context.stopNodes();
  const double wallSeconds = millisecondsBetween(wallStart, SteadyClock::now()) / 1000.0;
  const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

  // Play (or the simulated camera's streams) starts when the loop subscribes on its first turn.
  for (const auto& [name, times, arrivals] :
       {std::tuple{"depth", &recorded.depthTimes, &recorded.depth},
        std::tuple{"colour", &recorded.colourTimes, &recorded.colour}}) {
    if (!times->empty()) {
      std::printf("%-7s first sample #%lld arrived %.3f ms after the streams were started\n", name,
                  static_cast<long long>(arrivals->front().sampleIndex),
                  millisecondsBetween(wallStart, times->front()));
    }
  }
  const bool depthWithin = reportStream("depth", loopStart, recorded.depthTimes, recorded.depth);
  const bool colourWithin =
      reportStream("colour", loopStart, recorded.colourTimes, recorded.colour);
  std::printf("audio   %6lld blocks over %d s: %.3f per second (%d expected); skipped %lld\n",
              static_cast<long long>(recorded.audioBlocks), seconds,
              static_cast<double>(recorded.audioBlocks) / seconds, kAudioBlocksPerSecond,
              static_cast<long long>(recorded.audioSkipped));
  std::printf("process CPU %.3f s over %.3f s of wall time: %.2f %% of one core\n", cpuSeconds,
              wallSeconds, 100.0 * cpuSeconds / wallSeconds);

  ViewerState = ViewerStateRecord{};
  return depthWithin && colourWithin ? 0 : 1;
}
