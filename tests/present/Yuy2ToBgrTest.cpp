// The colour conversion's named cases and its frame handling: the listed pixel values (among
// them the two that only come out right without fused multiply-add or extended precision),
// chroma shared within a group, where rows land in the output, argument checks, and every
// kernel on odd and unaligned widths with buffers that end at a guarded page, so a read or
// write one byte too far crashes the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "GuardedBuffer.h"
#include "Yuy2ExpectedColor.h"
#include "present/Yuy2ToBgr.h"
#include "present/Yuy2ToBgrRows.h"

namespace {

using Pixel = std::array<int, 3>;  // blue, green, red

class EveryKernel : public ::testing::TestWithParam<yuy2::Kernel> {
 protected:
  void SetUp() override { ASSERT_TRUE(yuy2::forceKernel(GetParam())); }
  void TearDown() override { yuy2::clearForcedKernel(); }

  // Converts a row of groups (4 bytes each) and returns the pixels.
  static std::vector<Pixel> convertGroups(const std::vector<std::uint8_t>& groups, int width) {
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * 3, 0xa5);
    EXPECT_TRUE(convertYuy2ToBgr(groups.data(), static_cast<int>(groups.size()), bgr.data(),
                                 width * 3, width, 1));
    std::vector<Pixel> pixels;
    for (int p = 0; p < width; ++p) pixels.push_back({bgr[3 * p], bgr[3 * p + 1], bgr[3 * p + 2]});
    return pixels;
  }

  // Both pixels of a group with the same luma; padded with other groups so that the SIMD
  // rows, not only their scalar tails, compute the case.
  static Pixel convertOne(int y, int u, int v) {
    std::vector<std::uint8_t> groups;
    for (int i = 0; i < 64; ++i) {
      groups.insert(groups.end(), {static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(u),
                                   static_cast<std::uint8_t>(y), static_cast<std::uint8_t>(v)});
    }
    const std::vector<Pixel> pixels = convertGroups(groups, 128);
    for (const Pixel& pixel : pixels) EXPECT_EQ(pixel, pixels[0]);
    return pixels[0];
  }
};

std::string kernelLabel(const ::testing::TestParamInfo<yuy2::Kernel>& info) {
  return yuy2::kernelName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Supported, EveryKernel, ::testing::ValuesIn(yuy2::supportedKernels()),
                         kernelLabel);

TEST_P(EveryKernel, NamedPixelValues) {
  EXPECT_EQ(convertOne(16, 128, 128), (Pixel{0, 0, 0}));
  EXPECT_EQ(convertOne(235, 128, 128), (Pixel{254, 254, 254})) << "254.916 truncates";
  EXPECT_EQ(convertOne(255, 128, 128), (Pixel{255, 255, 255})) << "278 clamps";
  EXPECT_EQ(convertOne(0, 128, 128), (Pixel{0, 0, 0})) << "-18.624 truncates then clamps";
  EXPECT_EQ(convertOne(128, 255, 128), (Pixel{255, 29, 130}));
  EXPECT_EQ(convertOne(128, 128, 255), (Pixel{130, 81, 255}));
  EXPECT_EQ(convertOne(128, 0, 0), (Pixel{0, 255, 0}));
}

TEST_P(EveryKernel, NearIntegerSumsTruncateAsSeparatelyRoundedDoubles) {
  for (int other = 0; other < 256; other += 15) {
    EXPECT_EQ(convertOne(103, 124, other)[0], 94) << "blue, V=" << other;
    EXPECT_EQ(convertOne(6, other, 196)[2], 122) << "red, U=" << other;
  }
}

// a * b + c rounded once, as a fused multiply-add gives it, in plain double arithmetic: the
// product's rounding error is recovered exactly (Dekker's split) and added back with the
// sum's. Not std::fma: some C libraries (MinGW-w64's) compute it in x87 extended precision,
// which rounds twice.
double fusedMultiplyAdd(double a, double b, double c) {
  auto split = [](double x, double& high, double& low) {
    const double scaled = 134217729.0 * x;  // 2^27 + 1
    high = scaled - (scaled - x);
    low = x - high;
  };
  double aHigh, aLow, bHigh, bLow;
  split(a, aHigh, aLow);
  split(b, bHigh, bLow);
  const double product = a * b;
  const double productError =
      ((aHigh * bHigh - product) + aHigh * bLow + aLow * bHigh) + aLow * bLow;
  const double sum = product + c;
  const double sumError = (product - (sum - (sum - product))) + (c - (sum - product));
  return sum + (sumError + productError);
}

// The two cases above only guard the build if a fused multiply-add or single precision would
// really change them.
TEST(Yuy2Canaries, FusedOrSinglePrecisionArithmeticWouldGiveOtherBytes) {
  volatile double lumaGain = 1.164, blueFromU = 1.567, redFromV = 1.98;
  EXPECT_EQ(std::trunc(fusedMultiplyAdd(lumaGain, 87.0, blueFromU * -4.0)), 95.0);
  EXPECT_EQ(std::trunc(fusedMultiplyAdd(redFromV, 68.0, lumaGain * -10.0)), 123.0);
  // The plain rule gives 94 and 122 (the cases above).
  EXPECT_EQ(std::trunc(lumaGain * 87.0 + blueFromU * -4.0), 94.0);
  EXPECT_EQ(std::trunc(redFromV * 68.0 + lumaGain * -10.0), 122.0);
  const float singleBlue =
      static_cast<float>(lumaGain) * 87.0f + static_cast<float>(blueFromU) * -4.0f;
  EXPECT_EQ(std::trunc(singleBlue), 95.0f);
}

TEST_P(EveryKernel, BothPixelsOfAGroupShareItsChroma) {
  std::vector<std::uint8_t> groups;
  for (int i = 0; i < 40; ++i) groups.insert(groups.end(), {16, 128, 235, 128});
  const std::vector<Pixel> pixels = convertGroups(groups, 80);
  for (int p = 0; p < 80; p += 2) {
    EXPECT_EQ(pixels[p], (Pixel{0, 0, 0})) << p;
    EXPECT_EQ(pixels[p + 1], (Pixel{254, 254, 254})) << p + 1;
  }
}

TEST_P(EveryKernel, WholeFrameLandsRowByRowAndGroup320StartsTheSecondRow) {
  std::vector<std::uint8_t> yuy2(kYuy2FrameBytes);
  std::mt19937 random(7);
  for (std::uint8_t& byte : yuy2) byte = static_cast<std::uint8_t>(random());
  const std::uint8_t group320[4] = {235, 128, 16, 128};
  std::memcpy(&yuy2[320 * 4], group320, 4);
  std::vector<std::uint8_t> bgr(kBgrFrameBytes + 16, 0xa5);

  convertYuy2ToBgr(yuy2.data(), bgr.data());

  EXPECT_THAT(std::vector<int>(bgr.begin() + 1920, bgr.begin() + 1926),
              ::testing::ElementsAre(254, 254, 254, 0, 0, 0));
  for (std::size_t pixel = 0; pixel < kBgrFrameBytes / 3; pixel += 997) {
    const std::uint8_t* group = &yuy2[pixel / 2 * 4];
    const ExpectedBgr expected = expectedBgr(pixel % 2 ? group[2] : group[0], group[1], group[3]);
    ASSERT_EQ((Pixel{bgr[3 * pixel], bgr[3 * pixel + 1], bgr[3 * pixel + 2]}),
              (Pixel{expected.blue, expected.green, expected.red}))
        << "pixel " << pixel;
  }
  EXPECT_EQ(bgr[kBgrFrameBytes], 0xa5) << "wrote past the 921,600 bytes";
}

TEST_P(EveryKernel, StridedRowsSkipThePaddingOnBothSides) {
  constexpr int kWidth = 37, kHeight = 5, kSourceStride = 100, kDestStride = 120;
  std::vector<std::uint8_t> yuy2(kSourceStride * kHeight);
  std::mt19937 random(11);
  for (std::uint8_t& byte : yuy2) byte = static_cast<std::uint8_t>(random());
  std::vector<std::uint8_t> bgr(kDestStride * kHeight, 0xa5);

  ASSERT_TRUE(
      convertYuy2ToBgr(yuy2.data(), kSourceStride, bgr.data(), kDestStride, kWidth, kHeight));

  for (int row = 0; row < kHeight; ++row) {
    for (int x = 0; x < kWidth; ++x) {
      const std::uint8_t* group = &yuy2[row * kSourceStride + x / 2 * 4];
      const ExpectedBgr expected = expectedBgr(x % 2 ? group[2] : group[0], group[1], group[3]);
      const std::uint8_t* got = &bgr[row * kDestStride + 3 * x];
      ASSERT_EQ((Pixel{got[0], got[1], got[2]}),
                (Pixel{expected.blue, expected.green, expected.red}))
          << "row " << row << " x " << x;
    }
    for (int pad = kWidth * 3; pad < kDestStride; ++pad) {
      ASSERT_EQ(bgr[row * kDestStride + pad], 0xa5) << "row " << row << " padding " << pad;
    }
  }
}

TEST(Yuy2RowKernels, OddAndUnalignedWidthsStopAtTheLastByteOfBothBuffers) {
  std::mt19937 random(3);
  std::vector<std::pair<yuy2::Kernel, yuy2::RowKernel>> rows = {
      {yuy2::Kernel::Reference, yuy2::convertRowReference}};
#ifdef DV_YUY2_X86_ROWS
  if (yuy2::kernelSupported(yuy2::Kernel::Sse2)) {
    rows.emplace_back(yuy2::Kernel::Sse2, yuy2::convertRowSse2);
  }
  if (yuy2::kernelSupported(yuy2::Kernel::Avx2)) {
    rows.emplace_back(yuy2::Kernel::Avx2, yuy2::convertRowAvx2);
  }
  if (yuy2::kernelSupported(yuy2::Kernel::Avx512)) {
    rows.emplace_back(yuy2::Kernel::Avx512, yuy2::convertRowAvx512);
  }
#endif
#ifdef DV_YUY2_NEON_ROWS
  rows.emplace_back(yuy2::Kernel::Neon, yuy2::convertRowNeon);
#endif
  for (const auto& [kernel, convertRow] : rows) {
    for (int width = 1; width <= 200; ++width) {
      const std::size_t sourceBytes = static_cast<std::size_t>(width + 1) / 2 * 4;
      const std::size_t destBytes = static_cast<std::size_t>(width) * 3;
      GuardedBuffer source(sourceBytes);
      GuardedBuffer dest(destBytes);
      for (std::size_t i = 0; i < sourceBytes; ++i) {
        source.data()[i] = static_cast<std::uint8_t>(random());
      }
      // Every third group lands red exactly on 153, where the rule's doubles give 152: the
      // integer fast paths must hand such groups to the exact rule in every step and tail.
      for (std::size_t group = 1; group < sourceBytes / 4; group += 3) {
        const std::uint8_t onAWholeValue[4] = {241, 0, 241, 73};
        std::memcpy(source.data() + 4 * group, onAWholeValue, 4);
      }
      std::memset(dest.data(), 0xa5, destBytes);

      convertRow(source.data(), dest.data(), width);

      for (int x = 0; x < width; ++x) {
        const std::uint8_t* group = source.data() + x / 2 * 4;
        const ExpectedBgr expected = expectedBgr(x % 2 ? group[2] : group[0], group[1], group[3]);
        const std::uint8_t* got = dest.data() + 3 * x;
        ASSERT_EQ((Pixel{got[0], got[1], got[2]}),
                  (Pixel{expected.blue, expected.green, expected.red}))
            << yuy2::kernelName(kernel) << " width " << width << " pixel " << x;
      }
    }
  }
}

TEST(Yuy2ToBgrFrame, RefusesUnusableArgumentsAndWritesNothing) {
  std::vector<std::uint8_t> yuy2(64, 128);
  std::vector<std::uint8_t> bgr(96, 0xa5);
  EXPECT_FALSE(convertYuy2ToBgr(nullptr, 64, bgr.data(), 96, 32, 1));
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 64, nullptr, 96, 32, 1));
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 64, bgr.data(), 96, 0, 1));
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 64, bgr.data(), 96, 32, 0));
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 64, bgr.data(), 96, -32, 1));
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 63, bgr.data(), 96, 32, 1)) << "short source row";
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 64, bgr.data(), 95, 32, 1)) << "short dest row";
  EXPECT_FALSE(convertYuy2ToBgr(yuy2.data(), 4, bgr.data(), 6, 3, 1)) << "odd width needs 2 groups";
  EXPECT_EQ(std::count(bgr.begin(), bgr.end(), 0xa5), 96);
}

TEST(Yuy2KernelChoice, ForcingSwitchesPathsAndClearingReturnsToTheBest) {
  const yuy2::Kernel best = yuy2::bestKernel();
  EXPECT_TRUE(yuy2::kernelSupported(best));
  for (yuy2::Kernel kernel : yuy2::supportedKernels()) {
    EXPECT_LE(static_cast<int>(kernel), static_cast<int>(best)) << yuy2::kernelName(kernel);
  }
  ASSERT_TRUE(yuy2::forceKernel(yuy2::Kernel::Reference));
  EXPECT_EQ(yuy2::activeKernel(), yuy2::Kernel::Reference);
  yuy2::clearForcedKernel();
  EXPECT_EQ(yuy2::activeKernel(), best);
}

}  // namespace
