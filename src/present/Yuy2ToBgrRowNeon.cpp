// NEON row, for 64-bit ARM: 32 pixels (16 groups) per step, in double precision two lanes at a
// time. The load splits the groups into Y0, U, Y1 and V bytes and the store interleaves blue,
// green and red, so no byte shuffling is needed in between.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_NEON_ROWS

#include <arm_neon.h>

#include "present/Yuy2ToBgrPixel.h"

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

}  // namespace

void convertRowNeon(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const Gains gains;
  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    // val[0] = Y0, val[1] = U, val[2] = Y1, val[3] = V of 16 groups.
    const uint8x16x4_t groups = vld4q_u8(yuy2);
    const ChannelsOf4 q0 = convertFourGroups<0>(groups, gains);
    const ChannelsOf4 q1 = convertFourGroups<1>(groups, gains);
    const ChannelsOf4 q2 = convertFourGroups<2>(groups, gains);
    const ChannelsOf4 q3 = convertFourGroups<3>(groups, gains);

    const uint8x16_t blue0 = clampToBytes(q0.blue0, q1.blue0, q2.blue0, q3.blue0);
    const uint8x16_t green0 = clampToBytes(q0.green0, q1.green0, q2.green0, q3.green0);
    const uint8x16_t red0 = clampToBytes(q0.red0, q1.red0, q2.red0, q3.red0);
    const uint8x16_t blue1 = clampToBytes(q0.blue1, q1.blue1, q2.blue1, q3.blue1);
    const uint8x16_t green1 = clampToBytes(q0.green1, q1.green1, q2.green1, q3.green1);
    const uint8x16_t red1 = clampToBytes(q0.red1, q1.red1, q2.red1, q3.red1);

    // Pixel 2g is Y0 of group g and pixel 2g + 1 its Y1.
    const uint8x16x3_t first = {
        {vzip1q_u8(blue0, blue1), vzip1q_u8(green0, green1), vzip1q_u8(red0, red1)}};
    const uint8x16x3_t second = {
        {vzip2q_u8(blue0, blue1), vzip2q_u8(green0, green1), vzip2q_u8(red0, red1)}};
    vst3q_u8(bgr, first);
    vst3q_u8(bgr + 48, second);

    yuy2 += kPixelsPerStep * 2;
    bgr += kPixelsPerStep * 3;
  }
  if (x < width) convertRowReference(yuy2, bgr, width - x);
}

}  // namespace yuy2

#endif  // DV_YUY2_NEON_ROWS
