// Speed of every conversion row the processor runs, against the reference row, in one run: for
// builds where Google Benchmark and the other converters are not at hand (the 64-bit ARM build
// under user-mode emulation). Rounds alternate between the kernels so that a change in the
// machine's load touches all of them alike; each kernel's figure is its median CPU time per
// 640 x 480 frame of random bytes.
//
//   kernel_ratio [ROUNDS] [FRAMES_PER_ROUND]
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "present/Yuy2ToBgr.h"

namespace {

double cpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
  const int framesPerRound = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

  std::vector<std::uint8_t> yuy2(kYuy2FrameBytes);
  std::mt19937 generator(2024);
  for (std::uint8_t& byte : yuy2) byte = static_cast<std::uint8_t>(generator());
  std::vector<std::uint8_t> bgr(kBgrFrameBytes);

  const std::vector<yuy2::Kernel> kernels = yuy2::supportedKernels();
  std::vector<std::vector<double>> perFrame(kernels.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < kernels.size(); ++k) {
      yuy2::forceKernel(kernels[k]);
      const double start = cpuSeconds();
      for (int frame = 0; frame < framesPerRound; ++frame)
        convertYuy2ToBgr(yuy2.data(), bgr.data());
      perFrame[k].push_back((cpuSeconds() - start) / framesPerRound);
    }
  }
  yuy2::clearForcedKernel();

  const double reference = median(perFrame[0]);  // the reference row is always supported, first
  std::printf("%-12s %14s %14s\n", "kernel", "CPU ms/frame", "/reference");
  for (std::size_t k = 0; k < kernels.size(); ++k) {
    const double ms = median(perFrame[k]) * 1e3;
    std::printf("%-12s %14.2f %14.2f\n", yuy2::kernelName(kernels[k]), ms,
                median(perFrame[k]) / reference);
  }
  std::printf("rounds: %d, frames per round: %d, shipped kernel: %s\n", rounds, framesPerRound,
              yuy2::kernelName(yuy2::bestKernel()));
  return 0;
}
