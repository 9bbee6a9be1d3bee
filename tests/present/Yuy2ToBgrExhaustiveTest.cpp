// Every (Y, U, V) combination, 16,777,216 of them, through every conversion kernel this CPU
// can run, compared byte for byte with the rule written out plainly in the test. This is what
// proves the SIMD rows exact: a lane mix-up, a fused multiply-add, single precision or a
// rounding conversion all show up here as wrong pixels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "Yuy2ExpectedColor.h"
#include "present/Yuy2ToBgr.h"

namespace {

class ForcedKernel {
 public:
  explicit ForcedKernel(yuy2::Kernel kernel) { ok_ = yuy2::forceKernel(kernel); }
  ~ForcedKernel() { yuy2::clearForcedKernel(); }
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// One long row per U: for each V, 128 groups whose two lumas run through 0..255.
constexpr int kGroupsPerV = 128;
constexpr int kPixelsPerU = 256 * kGroupsPerV * 2;

void fillRowForU(int u, std::vector<std::uint8_t>& yuy2) {
  std::uint8_t* group = yuy2.data();
  for (int v = 0; v < 256; ++v) {
    for (int pair = 0; pair < kGroupsPerV; ++pair) {
      // Y0 takes the even lumas and Y1 the odd ones, rotated by V so that every lane of a
      // kernel sees every luma.
      const int y0 = (2 * pair + 2 * v) % 256;
      group[0] = static_cast<std::uint8_t>(y0);
      group[1] = static_cast<std::uint8_t>(u);
      group[2] = static_cast<std::uint8_t>(y0 + 1);
      group[3] = static_cast<std::uint8_t>(v);
      group += 4;
    }
  }
}

void expectedRowForU(const std::vector<std::uint8_t>& yuy2, std::vector<std::uint8_t>& bgr) {
  for (std::size_t pixel = 0; pixel < bgr.size() / 3; ++pixel) {
    const std::uint8_t* group = &yuy2[pixel / 2 * 4];
    const int y = pixel % 2 == 0 ? group[0] : group[2];
    const ExpectedBgr expected = expectedBgr(y, group[1], group[3]);
    bgr[3 * pixel] = expected.blue;
    bgr[3 * pixel + 1] = expected.green;
    bgr[3 * pixel + 2] = expected.red;
  }
}

std::string describeFirstDifference(const std::vector<std::uint8_t>& yuy2,
                                    const std::vector<std::uint8_t>& expected,
                                    const std::vector<std::uint8_t>& actual) {
  for (std::size_t byte = 0; byte < expected.size(); ++byte) {
    if (expected[byte] == actual[byte]) continue;
    const std::size_t pixel = byte / 3;
    const std::uint8_t* group = &yuy2[pixel / 2 * 4];
    return "pixel " + std::to_string(pixel) +
           " Y=" + std::to_string(pixel % 2 == 0 ? group[0] : group[2]) +
           " U=" + std::to_string(group[1]) + " V=" + std::to_string(group[3]) + " channel " +
           std::to_string(byte % 3) + ": expected " + std::to_string(expected[byte]) + ", got " +
           std::to_string(actual[byte]);
  }
  return "no difference";
}

TEST(Yuy2ToBgrExhaustive, EveryKernelMatchesThePlainRuleForAllCombinations) {
  const std::vector<yuy2::Kernel> kernels = yuy2::supportedKernels();
  ASSERT_FALSE(kernels.empty());
  std::vector<std::uint8_t> yuy2Row(kPixelsPerU * 2);
  std::vector<std::uint8_t> expected(kPixelsPerU * 3);
  std::vector<std::uint8_t> actual(kPixelsPerU * 3);
  // Which (Y, U, V) the frames fed in, to prove the sweep left none out.
  std::vector<bool> seen(1 << 24, false);

  for (int u = 0; u < 256; ++u) {
    fillRowForU(u, yuy2Row);
    expectedRowForU(yuy2Row, expected);
    for (std::size_t pixel = 0; pixel < static_cast<std::size_t>(kPixelsPerU); ++pixel) {
      const std::uint8_t* group = &yuy2Row[pixel / 2 * 4];
      const int y = pixel % 2 == 0 ? group[0] : group[2];
      seen[(static_cast<std::size_t>(group[1]) << 16) | (group[3] << 8) | y] = true;
    }
    for (yuy2::Kernel kernel : kernels) {
      ForcedKernel forced(kernel);
      ASSERT_TRUE(forced.ok()) << yuy2::kernelName(kernel);
      std::memset(actual.data(), 0xa5, actual.size());
      ASSERT_TRUE(convertYuy2ToBgr(yuy2Row.data(), kPixelsPerU * 2, actual.data(), kPixelsPerU * 3,
                                   kPixelsPerU, 1));
      ASSERT_TRUE(expected == actual) << yuy2::kernelName(kernel) << " U=" << u << ": "
                                      << describeFirstDifference(yuy2Row, expected, actual);
    }
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), false), 0);
}

}  // namespace
