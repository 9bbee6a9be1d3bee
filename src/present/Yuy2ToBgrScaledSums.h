// The integer fast path of the SIMD rows, and why it gives the rule's bytes.
//
// Scaled by 2^21, each channel's value is an integer sum of the three terms with rounded gains,
// off from the rule's decimal value by at most 248 units. Where that decimal value (a multiple
// of 0.001) is not a whole number it lies at least 0.001 (2097 units) from one, so the scaled
// sum has the same integer part, and so do the rule's doubles. Only where it is whole (about
// one channel value in a thousand) may the doubles fall just below it; a row flags every sum
// within kNear units of a whole value and has the rule itself convert that pixel.
//
// Plain constants only: this header is included by files built for different instruction sets.
#pragma once

#include <cstdint>

#include "present/Yuy2ToBgrPixel.h"

namespace yuy2::scaled {

constexpr int kFractionBits = 21;
constexpr int kOne = 1 << kFractionBits;
constexpr int kNear = 1024;

constexpr int kLumaGain = static_cast<int>(yuy2::kLumaGain * kOne + 0.5);
constexpr int kBlueFromU = static_cast<int>(yuy2::kBlueFromU * kOne + 0.5);
constexpr int kGreenFromU = static_cast<int>(yuy2::kGreenFromU * kOne + 0.5);
constexpr int kGreenFromV = static_cast<int>(yuy2::kGreenFromV * kOne + 0.5);
constexpr int kRedFromV = static_cast<int>(yuy2::kRedFromV * kOne + 0.5);

// The sums carry kNear on top of the scaled value. A whole value's sum then has a fraction from
// kNear - 248 to kNear + 248, every other sum one from 2097 - 248 + kNear to
// kOne - 2097 + 248 + kNear, still below kOne: the integer part of a sum is its arithmetic
// shift by kFractionBits, and a sum is near a whole value exactly when its fraction bits from
// 2 * kNear up are all zero.
constexpr int kLumaBase = -kLumaOffset * kLumaGain + kNear;
// Sum = luma * Y + base + the chroma terms of the channel.
constexpr int kBlueBase = kLumaBase - kChromaOffset * kBlueFromU;
constexpr int kGreenBase = kLumaBase + kChromaOffset * (kGreenFromU + kGreenFromV);
constexpr int kRedBase = kLumaBase - kChromaOffset * kRedFromV;

// A sum needs a second look when all these bits are zero: its fraction bits from 2 * kNear up
// (it is near a whole value) and its top three bits (it is below 0, or from 256 up, where the
// byte is clamped whatever the doubles do). Only a whole 0 is flagged without need.
constexpr int kFractionMask = kOne - 1;
constexpr std::uint32_t kWholeBits =
    static_cast<std::uint32_t>(kFractionMask & ~(2 * kNear - 1)) | 0xe0000000u;
static_assert(256LL * kOne - 248 + kNear >= (1LL << 29), "sums from 256 up set a top bit");
static_assert(256LL * kOne <= (1LL << 29), "sums of whole values up to 255 leave them clear");

// Red has the widest range of sums, and even it stays inside int32.
static_assert(255LL * (kLumaGain + kRedFromV) + kRedBase < (1LL << 31));
static_assert(kRedBase > -(1LL << 31));

}  // namespace yuy2::scaled
