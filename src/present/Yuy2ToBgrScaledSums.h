// The integer fast path of the SIMD rows, and why it gives the rule's bytes.
//
// Scaled by 2^21, each channel's value is an integer sum of the three terms with rounded gains,
// off from the rule's decimal value by at most 248 units. Where that decimal value (a multiple
// of 0.001) is not a whole number it lies at least 0.001 (2097 units) from one, so the scaled
// sum has the same integer part, and so do the rule's doubles. Only where it is whole (about
// 0.4 % of all (Y, U, V)) may the doubles fall just below it; a row flags every sum within
// kNear units of a whole value from 1 to 255 and converts that step by the rule itself.
//
// Plain constants only: this header is included by files built for different instruction sets.
#pragma once

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

// The sums carry kNear - kOne on top of the scaled value, so that whole values 1 to 255 lie at
// most kNear above 0 .. 254 * kOne, and sums below 1 turn into huge unsigned numbers. The
// integer part of a sum is therefore one more than its arithmetic shift by kFractionBits.
constexpr int kLumaBase = -kLumaOffset * kLumaGain + kNear - kOne;
// Sum = luma * Y + base + the chroma terms of the channel.
constexpr int kBlueBase = kLumaBase - kChromaOffset * kBlueFromU;
constexpr int kGreenBase = kLumaBase + kChromaOffset * (kGreenFromU + kGreenFromV);
constexpr int kRedBase = kLumaBase - kChromaOffset * kRedFromV;

// An unsigned cap for the sums of whole values from 256 up and below 1: its fraction,
// kOne / 2, is far from whole.
constexpr unsigned kCap = 255u * kOne + kOne / 2;
constexpr int kFractionMask = kOne - 1;

}  // namespace yuy2::scaled
