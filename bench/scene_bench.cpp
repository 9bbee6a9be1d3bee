// Cost of producing the simulated camera's samples. The service renders one 640 x 480 colour
// frame and one depth frame per sample at 25 per second each, inside the viewer's own event
// loop, so rendering must stay a small fraction of the 40 ms between frames.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "scene/Scenes.h"

namespace {

void colourFrame(benchmark::State& state) {
  std::vector<std::uint8_t> frame(640 * 480 * 2);
  std::int64_t sample = 0;
  for (auto _ : state) {
    CamSdk::detail::renderColorScene(CamSdk::FRAME_FORMAT_VGA, sample++, frame.data(),
                                     frame.size());
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.size()));
}
BENCHMARK(colourFrame);

void depthFrame(benchmark::State& state) {
  std::vector<short> frame(320 * 240);
  std::int64_t sample = 0;
  for (auto _ : state) {
    CamSdk::detail::renderDepthScene(CamSdk::FRAME_FORMAT_QVGA, sample++, frame.data(),
                                     frame.size());
    benchmark::DoNotOptimize(frame.data());
  }
}
BENCHMARK(depthFrame);

void audioBlock(benchmark::State& state) {
  std::vector<std::int16_t> block(44100 / 50);  // one 20 ms mono block
  std::int64_t first = 0;
  for (auto _ : state) {
    CamSdk::detail::renderAudioBlock(44100, 1, first, block.data(), block.size());
    first += static_cast<std::int64_t>(block.size());
    benchmark::DoNotOptimize(block.data());
  }
}
BENCHMARK(audioBlock);

}  // namespace

BENCHMARK_MAIN();
