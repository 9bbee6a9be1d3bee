// Conversion of packed 4:2:2 luma/chroma (YUY2: Y0 U Y1 V per pixel pair) into 8-bit
// blue-green-red, by the program's own exact colour rule (see Yuy2ToBgrPixel.h).
//
// The frame functions validate their arguments, pick one row kernel for the whole frame and
// run it row by row. The fastest kernel the CPU can run is found once and cached; tests and
// benchmarks can force any supported kernel, the plain reference included, to compare paths.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The colour map the viewer receives, and the picture it shows.
constexpr int kColorFrameWidth = 640;
constexpr int kColorFrameHeight = 480;
constexpr std::size_t kYuy2FrameBytes =
    static_cast<std::size_t>(kColorFrameWidth) * kColorFrameHeight * 2;  // 614,400
constexpr std::size_t kBgrFrameBytes =
    static_cast<std::size_t>(kColorFrameWidth) * kColorFrameHeight * 3;  // 921,600

// Converts one 640 x 480 colour map (kYuy2FrameBytes at `yuy2`) into kBgrFrameBytes at `bgr`.
void convertYuy2ToBgr(const std::uint8_t* yuy2, std::uint8_t* bgr);

// Converts a `width` x `height` picture. Source rows hold (width + 1) / 2 four-byte groups and
// start `yuy2Stride` bytes apart; destination rows hold width * 3 bytes and start `bgrStride`
// bytes apart. Returns false, writing nothing, when a pointer is null, a size is not positive
// or a stride is shorter than its row.
bool convertYuy2ToBgr(const std::uint8_t* yuy2, int yuy2Stride, std::uint8_t* bgr, int bgrStride,
                      int width, int height);

namespace yuy2 {

enum class Kernel { Reference, Sse2, Avx2, Avx512, Neon };

const char* kernelName(Kernel kernel);
// Built into this program and runnable on this CPU.
bool kernelSupported(Kernel kernel);
std::vector<Kernel> supportedKernels();
// The fastest supported kernel; detected once.
Kernel bestKernel();

// Makes every later conversion use `kernel`. Returns false and changes nothing when the
// kernel is not supported here.
bool forceKernel(Kernel kernel);
// Back to the fastest supported kernel.
void clearForcedKernel();
// The kernel the next conversion will use.
Kernel activeKernel();

}  // namespace yuy2
