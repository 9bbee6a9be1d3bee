// Row kernels of the YUY2 to BGR conversion. Each converts `width` pixels of one row: it reads
// the (width + 1) / 2 four-byte groups {Y0, U, Y1, V} at `yuy2` and writes exactly width * 3
// bytes at `bgr`, touching no byte outside those ranges. An odd width uses only Y0 of the
// last group. `width` is at least 1.
//
// The SIMD rows exist only where the compiler can build them; the frame function calls one
// only after asking the CPU whether it can run it.
#pragma once

#include <cstdint>

namespace yuy2 {

using RowKernel = void (*)(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);

// The plain per-pixel loop; the reference every other row is compared with.
void convertRowReference(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);

#if defined(__x86_64__) || defined(_M_X64)
#define DV_YUY2_X86_ROWS 1
void convertRowSse2(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);
void convertRowAvx2(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);
void convertRowAvx512(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);
#endif

#if defined(__aarch64__) || defined(_M_ARM64)
#define DV_YUY2_NEON_ROWS 1
void convertRowNeon(const std::uint8_t* yuy2, std::uint8_t* bgr, int width);
#endif

}  // namespace yuy2
