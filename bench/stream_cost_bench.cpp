// What producing the simulated camera's samples costs next to what the viewer spends on them.
//
// The service renders its samples inside the viewer's own event loop, so every microsecond it
// spends is taken from the viewer. This program times, in one run:
// - one sample of each stream as the service produces it (scene, pooled buffer, vertices for
//   depth), the way the event loop asks for it;
// - one second of streaming (25 colour, 25 depth, 50 audio samples) through the event loop on
//   the virtual clock, once with handlers that do nothing and once with the viewer's own
//   handlers and set-up, the display replaced by calls that do nothing (NullDisplay.cpp).
// After the table it prints the production cost of one second as a share of the viewer's loop.
// The display's own work is left out of that loop, so the share printed is an upper bound of
// the share in the real viewer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "BenchmarkRun.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/ConfigurationRules.h"
#include "sources/SimulatedCamera.h"
#include "viewer/FrameSizedBlocks.h"
#include "viewer/NodeDispatch.h"
#include "viewer/ViewerState.h"

namespace {

using CamSdk::testing::Scenario;

// The rates the viewer streams at; the simulated camera's defaults are the same.
constexpr int kVideoPerSecond = 25;
constexpr int kAudioBlocksPerSecond = CamSdk::detail::kAudioBlocksPerSecond;

const CamSdk::DepthNode::Configuration kDepthConfiguration{
    CamSdk::FRAME_FORMAT_QVGA, kVideoPerSecond, CamSdk::DepthNode::CameraMode::Close, true};
const CamSdk::ColorNode::Configuration kColorConfiguration{
    CamSdk::FRAME_FORMAT_VGA, kVideoPerSecond, CamSdk::ColorNode::PowerLineFrequency::Hz50,
    CamSdk::ColorNode::Compression::Yuy2};
const CamSdk::AudioNode::Configuration kAudioConfiguration{CamSdk::AudioNode::AudioFormat::Pcm16, 1,
                                                           44100};

// Each iteration produces one sample and lets it go, so the pool hands the buffer back to the
// next iteration as it does while a handler returns promptly.
void produceColour(benchmark::State& state) {
  CamSdk::detail::SimulatedNodeSource source;
  std::int64_t index = 0;
  for (auto _ : state) {
    const auto frame = std::get<CamSdk::ColorNode::NewSampleReceivedData>(
        source.sample(kColorConfiguration, index++, CamSdk::detail::kColorMap));
    benchmark::DoNotOptimize(frame.colorMap.data());
  }
}

void produceDepthWithVertices(benchmark::State& state) {
  CamSdk::detail::SimulatedNodeSource source;
  std::int64_t index = 0;
  for (auto _ : state) {
    const auto frame = std::get<CamSdk::DepthNode::NewSampleReceivedData>(source.sample(
        kDepthConfiguration, index++, CamSdk::detail::kDepthMap | CamSdk::detail::kVertices));
    benchmark::DoNotOptimize(frame.vertices.data());
  }
}

// The depth map alone, to tell the scene's cost from the vertices' cost.
void produceDepthMapOnly(benchmark::State& state) {
  CamSdk::detail::SimulatedNodeSource source;
  std::int64_t index = 0;
  for (auto _ : state) {
    const auto frame = std::get<CamSdk::DepthNode::NewSampleReceivedData>(
        source.sample(kDepthConfiguration, index++, CamSdk::detail::kDepthMap));
    benchmark::DoNotOptimize(frame.depthMap.data());
  }
}

void produceAudio(benchmark::State& state) {
  CamSdk::detail::SimulatedNodeSource source;
  std::int64_t index = 0;
  for (auto _ : state) {
    const auto frame = std::get<CamSdk::AudioNode::NewSampleReceivedData>(
        source.sample(kAudioConfiguration, index++, CamSdk::detail::kAudio));
    benchmark::DoNotOptimize(frame.audioData.data());
  }
}

void ignoreDepth(CamSdk::DepthNode, CamSdk::DepthNode::NewSampleReceivedData) {}
void ignoreColour(CamSdk::ColorNode, CamSdk::ColorNode::NewSampleReceivedData) {}
void ignoreAudio(CamSdk::AudioNode, CamSdk::AudioNode::NewSampleReceivedData) {}

// Streams one second at a time on a virtual clock: a scenario action due one second ahead
// stops the loop before the samples due at that instant, so each run delivers exactly one
// second's worth. Fails the benchmark when a second brings another number of samples.
class VirtualSeconds {
 public:
  VirtualSeconds() : scenario_(Scenario::fresh()) {
    for (const char* name : {"depth0", "color0", "audio0"}) {
      nodes_.push_back(scenario_.findNode(name));
    }
  }

  void run(benchmark::State& state, CamSdk::Context& context) {
    context.startNodes();
    const std::vector<int> before = delivered();
    for (auto _ : state) {
      scenario_.at(scenario_.now() + std::chrono::seconds(1),
                   [&context](Scenario&) { context.quit(); });
      context.run();
    }
    context.stopNodes();
    const std::vector<int> after = delivered();
    const int expected[] = {kVideoPerSecond, kVideoPerSecond, kAudioBlocksPerSecond};
    for (std::size_t i = 0; i < nodes_.size(); ++i) {
      const std::int64_t wanted = state.iterations() * expected[i];
      if (after[i] - before[i] != wanted) {
        state.SkipWithError("a simulated second delivered another number of samples");
        return;
      }
    }
    state.counters["samples"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * (2 * kVideoPerSecond + kAudioBlocksPerSecond),
        benchmark::Counter::kIsRate);
  }

 private:
  std::vector<int> delivered() const {
    std::vector<int> counts;
    for (CamSdk::testing::NodeId node : nodes_) counts.push_back(scenario_.samplesDelivered(node));
    return counts;
  }

  Scenario scenario_;
  std::vector<CamSdk::testing::NodeId> nodes_;
};

// The SDK's side alone: production, pacing and delivery to handlers that do nothing.
void loopWithEmptyHandlers(benchmark::State& state) {
  VirtualSeconds seconds;
  CamSdk::Context context = CamSdk::Context::create("localhost");
  for (CamSdk::Node node : context.listDevices().at(0).listNodes()) {
    if (node.is<CamSdk::DepthNode>()) {
      CamSdk::DepthNode depth = node.as<CamSdk::DepthNode>();
      depth.newSampleReceivedEvent().connectFunction(ignoreDepth);
      depth.setEnableDepthMap(true);
      depth.setEnableVertices(true);
    } else if (node.is<CamSdk::ColorNode>()) {
      CamSdk::ColorNode colour = node.as<CamSdk::ColorNode>();
      colour.newSampleReceivedEvent().connectFunction(ignoreColour);
      colour.setEnableColorMap(true);
    } else if (node.is<CamSdk::AudioNode>()) {
      node.as<CamSdk::AudioNode>().newSampleReceivedEvent().connectFunction(ignoreAudio);
    }
    context.registerNode(node);
  }
  seconds.run(state, context);
}

// The viewer's own claim, set-up routines and handlers, as it runs them after start-up.
void loopWithViewerHandlers(benchmark::State& state) {
  VirtualSeconds seconds;
  ViewerState.context = CamSdk::Context::create("localhost");
  for (CamSdk::Node node : ViewerState.context.listDevices().at(0).listNodes()) claimNode(node);
  seconds.run(state, ViewerState.context);
  ViewerState = ViewerStateRecord{};
}

constexpr char kColourName[] = "produce_colour_640x480";
constexpr char kDepthName[] = "produce_depth_320x240_with_vertices";
constexpr char kDepthMapName[] = "produce_depth_320x240_map_only";
constexpr char kAudioName[] = "produce_audio_20ms_mono_44100";
constexpr char kEmptyLoopName[] = "one_second_loop_empty_handlers";
constexpr char kViewerLoopName[] = "one_second_loop_viewer_null_display";

void registerAll(const RunLength& given) {
  const std::pair<const char*, void (*)(benchmark::State&)> all[] = {
      {kColourName, produceColour},
      {kDepthName, produceDepthWithVertices},
      {kDepthMapName, produceDepthMapOnly},
      {kAudioName, produceAudio},
      {kEmptyLoopName, loopWithEmptyHandlers},
      {kViewerLoopName, loopWithViewerHandlers},
  };
  for (const auto& [name, function] : all) {
    benchmark::internal::Benchmark* registered = benchmark::RegisterBenchmark(name, function);
    useRunLength(registered, given, 0.3, 5);
  }
}

// Keeps the median CPU time of each benchmark and prints the shares after the table.
class ShareReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (median || single) micros_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    const double colour = timeOf(kColourName);
    const double depth = timeOf(kDepthName);
    const double audio = timeOf(kAudioName);
    const double emptyLoop = timeOf(kEmptyLoopName);
    const double viewerLoop = timeOf(kViewerLoopName);
    const double production =
        colour > 0 && depth > 0 && audio > 0
            ? kVideoPerSecond * (colour + depth) + kAudioBlocksPerSecond * audio
            : 0.0;
    // Each line only when what it needs was not filtered out of this run.
    if (production <= 0 && viewerLoop <= 0 && emptyLoop <= 0) return;
    std::printf("\nOne second of streaming, median CPU times of this run\n");
    const auto line = [](const char* what, double micros) {
      if (micros > 0) std::printf("%-58s %10.0f us\n", what, micros);
    };
    line("producing (25 colour + 25 depth + 50 audio samples)", production);
    line("SDK loop alone (produce, pace, deliver)", emptyLoop);
    line("viewer loop, null display", viewerLoop);
    if (viewerLoop <= 0) return;
    if (production > 0) {
      std::printf("%-58s %9.1f %%  (target under 10 %%)\n", "share of producing in the viewer loop",
                  100.0 * production / viewerLoop);
    }
    if (emptyLoop > 0) {
      std::printf("%-58s %9.1f %%\n", "share of the SDK loop in the viewer loop",
                  100.0 * emptyLoop / viewerLoop);
    }
  }

 private:
  double timeOf(const std::string& name) const {
    auto found = micros_.find(name);
    return found == micros_.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> micros_;
};

}  // namespace

int main(int argc, char** argv) {
  // The heap as the viewer sets it up at start-up.
  keepFrameSizedBlocksInHeap();
  registerAll(runLengthGiven(argc, argv));
  ShareReporter reporter;
  return runBenchmarks(argc, argv, reporter);
}
