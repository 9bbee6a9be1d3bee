// NEON row, for 64-bit ARM: 32 pixels (16 groups) per step. A fast path in 32-bit integers
// gives the rule's bytes wherever it can prove them; the few groups it cannot are done again by
// the rule itself, in double precision two lanes at a time. The load splits the groups into Y0, U,
// Y1 and V bytes and the store interleaves blue, green and red, so no byte shuffling is needed.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_NEON_ROWS

#include <arm_neon.h>

#include "present/Yuy2ToBgrPixel.h"
#include "present/Yuy2ToBgrRecheck.h"
#include "present/Yuy2ToBgrScaledSums.h"

namespace yuy2 {
namespace {

constexpr int kGroupsPerStep = 16;
constexpr int kPixelsPerStep = 2 * kGroupsPerStep;

struct Gains {
  float64x2_t luma = vdupq_n_f64(kLumaGain);
  float64x2_t blueFromU = vdupq_n_f64(kBlueFromU);
  float64x2_t greenFromU = vdupq_n_f64(kGreenFromU);
  float64x2_t greenFromV = vdupq_n_f64(kGreenFromV);
  float64x2_t redFromV = vdupq_n_f64(kRedFromV);
};

// Bytes 4 * quarter .. 4 * quarter + 3 of `bytes`, minus `offset`, as four int32.
template <int quarter>
int32x4_t quarterMinus(uint8x16_t bytes, int offset) {
  const uint16x8_t half =
      quarter < 2 ? vmovl_u8(vget_low_u8(bytes)) : vmovl_u8(vget_high_u8(bytes));
  const uint16x4_t part = quarter % 2 == 0 ? vget_low_u16(half) : vget_high_u16(half);
  return vsubq_s32(vreinterpretq_s32_u32(vmovl_u16(part)), vdupq_n_s32(offset));
}

// The exact integer differences, converted to double two at a time.
struct DoublePairs {
  float64x2_t low, high;
};

DoublePairs toDoubles(int32x4_t values) {
  return {vcvtq_f64_s64(vmovl_s32(vget_low_s32(values))),
          vcvtq_f64_s64(vmovl_s32(vget_high_s32(values)))};
}

// Truncation toward zero of two pairs, as four int32 (the values lie far inside that range).
int32x4_t truncate(float64x2_t low, float64x2_t high) {
  return vcombine_s32(vmovn_s64(vcvtq_s64_f64(low)), vmovn_s64(vcvtq_s64_f64(high)));
}

// Four groups' values of each channel: truncated doubles on the exact path, scaled sums on the
// fast one.
struct ChannelsOf4 {
  int32x4_t blue0, green0, red0;  // pixels of Y0
  int32x4_t blue1, green1, red1;  // pixels of Y1
};

// One pair of groups: the rule in double, each product and each sum rounded on its own.
struct ChannelsOf2 {
  float64x2_t blue0, green0, red0, blue1, green1, red1;
};

ChannelsOf2 convertTwoGroups(float64x2_t y0, float64x2_t u, float64x2_t y1, float64x2_t v,
                             const Gains& gains) {
  const float64x2_t luma0 = vmulq_f64(gains.luma, y0);
  const float64x2_t luma1 = vmulq_f64(gains.luma, y1);
  const float64x2_t blueU = vmulq_f64(gains.blueFromU, u);
  const float64x2_t greenU = vmulq_f64(gains.greenFromU, u);
  const float64x2_t greenV = vmulq_f64(gains.greenFromV, v);
  const float64x2_t redV = vmulq_f64(gains.redFromV, v);
  return {
      vaddq_f64(luma0, blueU), vsubq_f64(vsubq_f64(luma0, greenU), greenV), vaddq_f64(luma0, redV),
      vaddq_f64(luma1, blueU), vsubq_f64(vsubq_f64(luma1, greenU), greenV), vaddq_f64(luma1, redV)};
}

template <int quarter>
ChannelsOf4 convertFourGroups(const uint8x16x4_t& groups, const Gains& gains) {
  const DoublePairs y0 = toDoubles(quarterMinus<quarter>(groups.val[0], kLumaOffset));
  const DoublePairs u = toDoubles(quarterMinus<quarter>(groups.val[1], kChromaOffset));
  const DoublePairs y1 = toDoubles(quarterMinus<quarter>(groups.val[2], kLumaOffset));
  const DoublePairs v = toDoubles(quarterMinus<quarter>(groups.val[3], kChromaOffset));
  const ChannelsOf2 low = convertTwoGroups(y0.low, u.low, y1.low, v.low, gains);
  const ChannelsOf2 high = convertTwoGroups(y0.high, u.high, y1.high, v.high, gains);
  return {truncate(low.blue0, high.blue0),   truncate(low.green0, high.green0),
          truncate(low.red0, high.red0),     truncate(low.blue1, high.blue1),
          truncate(low.green1, high.green1), truncate(low.red1, high.red1)};
}

// Saturation to int16 keeps every truncated value; the unsigned byte saturation that follows is
// exactly the clamp to 0..255.
uint8x16_t clampToBytes(int32x4_t q0, int32x4_t q1, int32x4_t q2, int32x4_t q3) {
  return vcombine_u8(vqmovun_s16(vcombine_s16(vqmovn_s32(q0), vqmovn_s32(q1))),
                     vqmovun_s16(vcombine_s16(vqmovn_s32(q2), vqmovn_s32(q3))));
}

// Pixel 2g is Y0 of group g and pixel 2g + 1 its Y1: 32 pixels of blue, green and red.
void storePixels(std::uint8_t* bgr, uint8x16_t blue0, uint8x16_t green0, uint8x16_t red0,
                 uint8x16_t blue1, uint8x16_t green1, uint8x16_t red1) {
  const uint8x16x3_t first = {
      {vzip1q_u8(blue0, blue1), vzip1q_u8(green0, green1), vzip1q_u8(red0, red1)}};
  const uint8x16x3_t second = {
      {vzip2q_u8(blue0, blue1), vzip2q_u8(green0, green1), vzip2q_u8(red0, red1)}};
  vst3q_u8(bgr, first);
  vst3q_u8(bgr + 48, second);
}

// Stores the 32 pixels of four quarters (groups 4q .. 4q + 3 in quarter q); `toBytes` turns one
// channel's four quarters into 16 bytes.
template <typename ToBytes>
void storeQuarters(std::uint8_t* bgr, const ChannelsOf4 (&q)[4], ToBytes toBytes) {
  storePixels(bgr, toBytes(q[0].blue0, q[1].blue0, q[2].blue0, q[3].blue0),
              toBytes(q[0].green0, q[1].green0, q[2].green0, q[3].green0),
              toBytes(q[0].red0, q[1].red0, q[2].red0, q[3].red0),
              toBytes(q[0].blue1, q[1].blue1, q[2].blue1, q[3].blue1),
              toBytes(q[0].green1, q[1].green1, q[2].green1, q[3].green1),
              toBytes(q[0].red1, q[1].red1, q[2].red1, q[3].red1));
}

// The rule itself, in double, for one step.
void convertStepExact(const std::uint8_t* yuy2, std::uint8_t* bgr) {
  const Gains gains;
  // val[0] = Y0, val[1] = U, val[2] = Y1, val[3] = V of 16 groups.
  const uint8x16x4_t groups = vld4q_u8(yuy2);
  const ChannelsOf4 quarters[4] = {
      convertFourGroups<0>(groups, gains), convertFourGroups<1>(groups, gains),
      convertFourGroups<2>(groups, gains), convertFourGroups<3>(groups, gains)};
  storeQuarters(bgr, quarters, clampToBytes);
}

// The rule itself: `width` pixels, in steps of 32 and then the reference row. Kept out of line:
// only the rechecked groups come here.
[[gnu::noinline]] void convertRowExact(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    convertStepExact(yuy2 + 2 * x, bgr + 3 * x);
  }
  if (x < width) convertRowReference(yuy2 + 2 * x, bgr + 3 * x, width - x);
}

// Constants of the fast path (see Yuy2ToBgrScaledSums.h).
struct ScaledGains {
  int32x4_t luma = vdupq_n_s32(scaled::kLumaGain);
  int32x4_t blueFromU = vdupq_n_s32(scaled::kBlueFromU);
  int32x4_t greenFromU = vdupq_n_s32(scaled::kGreenFromU);
  int32x4_t greenFromV = vdupq_n_s32(scaled::kGreenFromV);
  int32x4_t redFromV = vdupq_n_s32(scaled::kRedFromV);
  int32x4_t blueBase = vdupq_n_s32(scaled::kBlueBase);
  int32x4_t greenBase = vdupq_n_s32(scaled::kGreenBase);
  int32x4_t redBase = vdupq_n_s32(scaled::kRedBase);
  uint32x4_t wholeBits = vdupq_n_u32(scaled::kWholeBits);
};

// The checked bits (kWholeBits) of each lane's sum, folded into `nearest` by minimum: zero
// where any sum needs a second look.
uint32x4_t closest(uint32x4_t nearest, int32x4_t sum, const ScaledGains& gains) {
  return vminq_u32(nearest, vandq_u32(vreinterpretq_u32_s32(sum), gains.wholeBits));
}

template <int quarter>
ChannelsOf4 sumFourGroups(const uint8x16x4_t& groups, const ScaledGains& gains,
                          uint32x4_t& nearest) {
  const int32x4_t luma0 = vmulq_s32(quarterMinus<quarter>(groups.val[0], 0), gains.luma);
  const int32x4_t u = quarterMinus<quarter>(groups.val[1], 0);
  const int32x4_t luma1 = vmulq_s32(quarterMinus<quarter>(groups.val[2], 0), gains.luma);
  const int32x4_t v = quarterMinus<quarter>(groups.val[3], 0);
  const int32x4_t blue = vmlaq_s32(gains.blueBase, u, gains.blueFromU);
  const int32x4_t green =
      vmlsq_s32(vmlsq_s32(gains.greenBase, u, gains.greenFromU), v, gains.greenFromV);
  const int32x4_t red = vmlaq_s32(gains.redBase, v, gains.redFromV);
  const ChannelsOf4 sums = {vaddq_s32(luma0, blue), vaddq_s32(luma0, green), vaddq_s32(luma0, red),
                            vaddq_s32(luma1, blue), vaddq_s32(luma1, green), vaddq_s32(luma1, red)};
  nearest = closest(nearest, sums.blue0, gains);
  nearest = closest(nearest, sums.green0, gains);
  nearest = closest(nearest, sums.red0, gains);
  nearest = closest(nearest, sums.blue1, gains);
  nearest = closest(nearest, sums.green1, gains);
  nearest = closest(nearest, sums.red1, gains);
  return sums;
}

// Integer parts of 16 sums, clamped to 0..255.
uint8x16_t integerParts(int32x4_t q0, int32x4_t q1, int32x4_t q2, int32x4_t q3) {
  return clampToBytes(
      vshrq_n_s32(q0, scaled::kFractionBits), vshrq_n_s32(q1, scaled::kFractionBits),
      vshrq_n_s32(q2, scaled::kFractionBits), vshrq_n_s32(q3, scaled::kFractionBits));
}

// Bit g set where the folded checked bits of group g are zero; quarter q holds groups
// 4q .. 4q + 3.
std::uint32_t flaggedGroups(uint32x4_t q0, uint32x4_t q1, uint32x4_t q2, uint32x4_t q3) {
  const uint16x8_t low = vcombine_u16(vmovn_u32(vceqzq_u32(q0)), vmovn_u32(vceqzq_u32(q1)));
  const uint16x8_t high = vcombine_u16(vmovn_u32(vceqzq_u32(q2)), vmovn_u32(vceqzq_u32(q3)));
  const uint8x16_t flagged = vcombine_u8(vmovn_u16(low), vmovn_u16(high));
  static const std::uint8_t kWeights[16] = {1, 2, 4, 8, 16, 32, 64, 128,
                                            1, 2, 4, 8, 16, 32, 64, 128};
  const uint8x16_t bits = vandq_u8(flagged, vld1q_u8(kWeights));
  return vaddv_u8(vget_low_u8(bits)) | static_cast<std::uint32_t>(vaddv_u8(vget_high_u8(bits)))
                                           << 8;
}

}  // namespace

void convertRowNeon(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const ScaledGains gains;
  const uint32x4_t none = vdupq_n_u32(0xffffffffu);
  const auto convertStep = [&gains, none](const std::uint8_t* in, std::uint8_t* out) {
    // val[0] = Y0, val[1] = U, val[2] = Y1, val[3] = V of 16 groups.
    const uint8x16x4_t groups = vld4q_u8(in);
    uint32x4_t nearest0 = none, nearest1 = none, nearest2 = none, nearest3 = none;
    const ChannelsOf4 quarters[4] = {
        sumFourGroups<0>(groups, gains, nearest0), sumFourGroups<1>(groups, gains, nearest1),
        sumFourGroups<2>(groups, gains, nearest2), sumFourGroups<3>(groups, gains, nearest3)};
    storeQuarters(out, quarters, integerParts);
    return flaggedGroups(nearest0, nearest1, nearest2, nearest3);
  };
  convertRowWithRecheck<convertRowExact, kPixelsPerStep>(yuy2, bgr, width, convertStep);
}

}  // namespace yuy2

#endif  // DV_YUY2_NEON_ROWS
