// Cost of one 640 x 480 colour conversion on one core, on the same two frames (the simulated
// camera's colour scene and random bytes): the plain reference row, every row this CPU runs,
// the shipped choice, and for comparison OpenCV's single-threaded YUY2 conversion, libyuv's
// YUY2 to ARGB and to ARGB then RGB24, and a plain copy of the 921,600 output bytes. The colour
// handler's whole per-frame work apart from the display is measured next to the conversion.
// After the run the medians are printed as ratios against OpenCV and libyuv.
#include <benchmark/benchmark.h>
#include <libyuv.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "BenchmarkRun.h"
#include "camsdk/testing/Scenario.h"
#include "present/ColorFrameDisplay.h"
#include "present/Yuy2ToBgr.h"
#include "viewer/FrameHandlers.h"
#include "viewer/FrameSizedBlocks.h"

namespace {

struct Frame {
  std::string name;
  std::vector<std::uint8_t> yuy2;
};

const std::vector<Frame>& frames() {
  static const std::vector<Frame> all = [] {
    std::vector<Frame> made;
    made.push_back({"scene", CamSdk::testing::Scenario::colorScene(CamSdk::FRAME_FORMAT_VGA, 7)});
    std::vector<std::uint8_t> random(kYuy2FrameBytes);
    std::mt19937 generator(2024);
    for (std::uint8_t& byte : random) byte = static_cast<std::uint8_t>(generator());
    made.push_back({"random", std::move(random)});
    return made;
  }();
  return all;
}

constexpr int kWidth = kColorFrameWidth;
constexpr int kHeight = kColorFrameHeight;

void setFrameCounters(benchmark::State& state) {
  state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

void convertWith(benchmark::State& state, const Frame& frame, bool forced, yuy2::Kernel kernel) {
  if (forced && !yuy2::forceKernel(kernel)) {
    state.SkipWithError("kernel not supported");
    return;
  }
  if (!forced) yuy2::clearForcedKernel();
  std::vector<std::uint8_t> bgr(kBgrFrameBytes);
  for (auto _ : state) {
    convertYuy2ToBgr(frame.yuy2.data(), bgr.data());
    benchmark::DoNotOptimize(bgr.data());
    benchmark::ClobberMemory();
  }
  yuy2::clearForcedKernel();
  setFrameCounters(state);
}

void openCvCvtColor(benchmark::State& state, const Frame& frame) {
  const cv::Mat yuy2(kHeight, kWidth, CV_8UC2, const_cast<std::uint8_t*>(frame.yuy2.data()));
  cv::Mat bgr(kHeight, kWidth, CV_8UC3);
  for (auto _ : state) {
    cv::cvtColor(yuy2, bgr, cv::COLOR_YUV2BGR_YUY2);
    benchmark::DoNotOptimize(bgr.data);
    benchmark::ClobberMemory();
  }
  setFrameCounters(state);
}

void libyuvToArgb(benchmark::State& state, const Frame& frame) {
  std::vector<std::uint8_t> argb(static_cast<std::size_t>(kWidth) * kHeight * 4);
  for (auto _ : state) {
    libyuv::YUY2ToARGB(frame.yuy2.data(), kWidth * 2, argb.data(), kWidth * 4, kWidth, kHeight);
    benchmark::DoNotOptimize(argb.data());
    benchmark::ClobberMemory();
  }
  setFrameCounters(state);
}

void libyuvToRgb24(benchmark::State& state, const Frame& frame) {
  std::vector<std::uint8_t> argb(static_cast<std::size_t>(kWidth) * kHeight * 4);
  std::vector<std::uint8_t> rgb24(kBgrFrameBytes);
  for (auto _ : state) {
    libyuv::YUY2ToARGB(frame.yuy2.data(), kWidth * 2, argb.data(), kWidth * 4, kWidth, kHeight);
    libyuv::ARGBToRGB24(argb.data(), kWidth * 4, rgb24.data(), kWidth * 3, kWidth, kHeight);
    benchmark::DoNotOptimize(rgb24.data());
    benchmark::ClobberMemory();
  }
  setFrameCounters(state);
}

void copyOutputBytes(benchmark::State& state, const Frame&) {
  const std::vector<std::uint8_t> source(kBgrFrameBytes, 0x5a);
  std::vector<std::uint8_t> target(kBgrFrameBytes);
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), kBgrFrameBytes);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  setFrameCounters(state);
}

// The handler as the viewer runs it, with display calls that do nothing (NullDisplay.cpp).
void colorHandler(benchmark::State& state, const Frame& frame) {
  yuy2::clearForcedKernel();
  CamSdk::ColorNode::NewSampleReceivedData data{};
  auto owner = std::make_shared<std::vector<std::uint8_t>>(frame.yuy2);
  data.colorMap = CamSdk::Pointer<std::uint8_t>(owner, owner->data(), owner->size());
  data.frameFormat = CamSdk::FRAME_FORMAT_VGA;
  for (auto _ : state) {
    showColorFrame(CamSdk::ColorNode(), data);
    benchmark::ClobberMemory();
  }
  setFrameCounters(state);
}

using FrameBenchmark = void (*)(benchmark::State&, const Frame&);

void registerAll(const RunLength& given) {
  for (const Frame& frame : frames()) {
    const Frame* f = &frame;
    auto add = [&](const std::string& name, auto function) {
      benchmark::internal::Benchmark* registered =
          benchmark::RegisterBenchmark((name + "/" + frame.name).c_str(), function);
      useRunLength(registered, given, 0.2, 7);
    };
    for (yuy2::Kernel kernel : yuy2::supportedKernels()) {
      add(std::string("convert_") + yuy2::kernelName(kernel),
          [f, kernel](benchmark::State& state) { convertWith(state, *f, true, kernel); });
    }
    add("convert_shipped",
        [f](benchmark::State& state) { convertWith(state, *f, false, yuy2::Kernel::Reference); });
    add("color_handler_without_display", [f](benchmark::State& state) { colorHandler(state, *f); });
    const std::pair<const char*, FrameBenchmark> others[] = {
        {"opencv_cvtColor_1thread", openCvCvtColor},
        {"libyuv_YUY2ToARGB", libyuvToArgb},
        {"libyuv_YUY2ToARGB_ARGBToRGB24", libyuvToRgb24},
        {"memcpy_921600", copyOutputBytes},
    };
    for (const auto& [name, function] : others) {
      add(name, [f, function = function](benchmark::State& state) { function(state, *f); });
    }
  }
}

// Collects the median time of every benchmark and prints the ratios after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      // CPU time of the one thread: on a shared machine, wall time also counts other work.
      if (median || single) medianMicros_[run.run_name.function_name] = run.GetAdjustedCPUTime();
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\nRatios of median CPU times (same run); below 1.0 is faster than the reference\n");
    std::printf("%-46s %12s %10s %10s %10s\n", "benchmark", "CPU us", "/cvtColor", "/ARGB",
                "/RGB24");
    for (const Frame& frame : frames()) {
      const double openCv = timeOf("opencv_cvtColor_1thread/" + frame.name);
      const double argb = timeOf("libyuv_YUY2ToARGB/" + frame.name);
      const double rgb24 = timeOf("libyuv_YUY2ToARGB_ARGBToRGB24/" + frame.name);
      for (const auto& [name, micros] : medianMicros_) {
        if (name.size() < frame.name.size() ||
            name.compare(name.size() - frame.name.size(), frame.name.size(), frame.name) != 0) {
          continue;
        }
        std::printf("%-46s %12.1f %10s %10s %10s\n", name.c_str(), micros,
                    ratio(micros, openCv).c_str(), ratio(micros, argb).c_str(),
                    ratio(micros, rgb24).c_str());
      }
    }
    std::printf("shipped kernel: %s\n", yuy2::kernelName(yuy2::bestKernel()));
  }

 private:
  // "-" when the reference was filtered out of this run.
  static std::string ratio(double micros, double reference) {
    if (reference <= 0.0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", micros / reference);
    return text;
  }

  double timeOf(const std::string& name) const {
    auto found = medianMicros_.find(name);
    return found == medianMicros_.end() ? 0.0 : found->second;
  }

  std::map<std::string, double> medianMicros_;
};

}  // namespace

int main(int argc, char** argv) {
  cv::setNumThreads(1);
  // The heap as the viewer sets it up at start-up.
  keepFrameSizedBlocksInHeap();
  registerAll(runLengthGiven(argc, argv));
  RatioReporter reporter;
  return runBenchmarks(argc, argv, reporter);
}
