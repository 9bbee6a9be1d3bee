#include "present/Yuy2ToBgr.h"

#include <atomic>

#include "present/CpuFeatures.h"
#include "present/Yuy2ToBgrRows.h"

namespace yuy2 {
namespace {

constexpr int kNotForced = -1;
std::atomic<int> forcedKernel{kNotForced};

RowKernel rowKernelOf(Kernel kernel) {
  switch (kernel) {
    case Kernel::Reference:
      return convertRowReference;
#ifdef DV_YUY2_X86_ROWS
    case Kernel::Sse2:
      return convertRowSse2;
    case Kernel::Avx2:
      return convertRowAvx2;
    case Kernel::Avx512:
      return convertRowAvx512;
#endif
#ifdef DV_YUY2_NEON_ROWS
    case Kernel::Neon:
      return convertRowNeon;
#endif
    default:
      return nullptr;
  }
}

bool cpuRuns(Kernel kernel) {
  const cpu::Features& cpu = cpu::features();
  switch (kernel) {
    case Kernel::Reference:
      return true;
    case Kernel::Sse2:
      return cpu.sse2;
    case Kernel::Avx2:
      return cpu.avx2;
    case Kernel::Avx512:
      return cpu.avx512Bytes;
    case Kernel::Neon:
      return cpu.neon;
  }
  return false;
}

Kernel detectBest() {
  for (Kernel kernel : {Kernel::Avx512, Kernel::Avx2, Kernel::Sse2, Kernel::Neon}) {
    if (kernelSupported(kernel)) return kernel;
  }
  return Kernel::Reference;
}

}  // namespace

const char* kernelName(Kernel kernel) {
  switch (kernel) {
    case Kernel::Reference:
      return "reference";
    case Kernel::Sse2:
      return "sse2";
    case Kernel::Avx2:
      return "avx2";
    case Kernel::Avx512:
      return "avx512";
    case Kernel::Neon:
      return "neon";
  }
  return "unknown";
}

bool kernelSupported(Kernel kernel) { return rowKernelOf(kernel) != nullptr && cpuRuns(kernel); }

std::vector<Kernel> supportedKernels() {
  std::vector<Kernel> kernels;
  for (Kernel kernel :
       {Kernel::Reference, Kernel::Sse2, Kernel::Avx2, Kernel::Avx512, Kernel::Neon}) {
    if (kernelSupported(kernel)) kernels.push_back(kernel);
  }
  return kernels;
}

Kernel bestKernel() {
  static const Kernel best = detectBest();
  return best;
}

bool forceKernel(Kernel kernel) {
  if (!kernelSupported(kernel)) return false;
  forcedKernel.store(static_cast<int>(kernel), std::memory_order_relaxed);
  return true;
}

void clearForcedKernel() { forcedKernel.store(kNotForced, std::memory_order_relaxed); }

Kernel activeKernel() {
  const int forced = forcedKernel.load(std::memory_order_relaxed);
  return forced == kNotForced ? bestKernel() : static_cast<Kernel>(forced);
}

}  // namespace yuy2

bool convertYuy2ToBgr(const std::uint8_t* yuy2, int yuy2Stride, std::uint8_t* bgr, int bgrStride,
                      int width, int height) {
  if (yuy2 == nullptr || bgr == nullptr || width <= 0 || height <= 0) return false;
  const long long yuy2RowBytes = (static_cast<long long>(width) + 1) / 2 * 4;
  const long long bgrRowBytes = static_cast<long long>(width) * 3;
  if (yuy2Stride < yuy2RowBytes || bgrStride < bgrRowBytes) return false;

  const yuy2::RowKernel convertRow = yuy2::rowKernelOf(yuy2::activeKernel());
  // Rows that follow one another without gap form one long row: the kernel then runs its
  // wide loop over the whole picture and handles a single tail.
  if (width % 2 == 0 && yuy2Stride == yuy2RowBytes && bgrStride == bgrRowBytes &&
      static_cast<long long>(width) * height <= 0x7fffffff) {
    convertRow(yuy2, bgr, width * height);
    return true;
  }
  for (int row = 0; row < height; ++row) {
    convertRow(yuy2, bgr, width);
    yuy2 += yuy2Stride;
    bgr += bgrStride;
  }
  return true;
}

void convertYuy2ToBgr(const std::uint8_t* yuy2, std::uint8_t* bgr) {
  convertYuy2ToBgr(yuy2, kColorFrameWidth * 2, bgr, kColorFrameWidth * 3, kColorFrameWidth,
                   kColorFrameHeight);
}
