// AVX-512 row: 32 pixels (16 groups) per step, in double precision eight lanes at a time.
// Compiled with AVX-512 F/BW/VL/VBMI enabled for this file only; the frame function calls it
// only when the CPU reports all four.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <immintrin.h>

#include "present/Yuy2ToBgrPixel.h"

namespace yuy2 {
namespace {

constexpr int kPixelsPerStep = 32;

// The 16 groups are loaded as eight 64-bit lanes of two groups each, so the work splits into
// the even groups (low half of each lane) and the odd groups (high half). After truncation and
// the packs, the channel bytes of the 32 pixels sit in this order within 32 bytes: group g,
// luma p (0: Y0, 1: Y1) lands at (lane / 4) * 16 + (g % 2) * 8 + p * 4 + lane % 4, where
// lane = g / 2.
constexpr int packedPosition(int pixel) {
  const int group = pixel / 2;
  const int luma = pixel % 2;
  const int lane = group / 2;
  return (lane / 4) * 16 + (group % 2) * 8 + luma * 4 + lane % 4;
}

// Byte selectors for the final interleave: source bytes 0..31 are blue, 32..63 green, 64..95
// red; output byte 3q + c takes channel c of pixel q. A plain array in this file only, so no
// code built with these instruction sets is shared with other files.
struct InterleaveTable {
  std::uint8_t bytes[128];
};

constexpr InterleaveTable makeInterleave() {
  InterleaveTable table{};
  for (int out = 0; out < 96; ++out) {
    const int pixel = out / 3;
    const int channel = out % 3;
    table.bytes[out] = static_cast<std::uint8_t>(channel * 32 + packedPosition(pixel));
  }
  return table;
}

alignas(64) constexpr InterleaveTable kInterleave = makeInterleave();

// The doubles from 2^52 to 2^53 are exactly the integers, held in the low mantissa bits. A
// byte written into the low bits of 2^52 is the double 2^52 + byte, and subtracting
// 2^52 + offset leaves exactly byte - offset: the same double the reference gets by
// converting the integer difference, without a conversion instruction.
constexpr double kTwoPow52 = 4503599627370496.0;
constexpr long long kTwoPow52Bits = 0x4330000000000000LL;
// Bitwise (a & b) | c for _mm512_ternarylogic_epi64.
constexpr int kAndOr = 0xea;

struct Gains {
  __m512d luma = _mm512_set1_pd(kLumaGain);
  __m512d blueFromU = _mm512_set1_pd(kBlueFromU);
  __m512d greenFromU = _mm512_set1_pd(kGreenFromU);
  __m512d greenFromV = _mm512_set1_pd(kGreenFromV);
  __m512d redFromV = _mm512_set1_pd(kRedFromV);
  __m512d lumaBias = _mm512_set1_pd(kTwoPow52 + kLumaOffset);
  __m512d chromaBias = _mm512_set1_pd(kTwoPow52 + kChromaOffset);
  __m512i twoPow52Bits = _mm512_set1_epi64(kTwoPow52Bits);
  __m512i lowByte = _mm512_set1_epi64(0xff);
};

// The byte `shift` bits up each 64-bit lane, minus `bias` (2^52 + its offset), as doubles.
template <int shift>
inline __m512d byteDifference(__m512i lanes, __m512d bias, const Gains& gains) {
  const __m512i shifted = shift == 0 ? lanes : _mm512_srli_epi64(lanes, shift);
  const __m512i placed =
      _mm512_ternarylogic_epi64(shifted, gains.lowByte, gains.twoPow52Bits, kAndOr);
  return _mm512_sub_pd(_mm512_castsi512_pd(placed), bias);
}

struct ChannelsOf8 {
  __m256i blue0, green0, red0;  // pixels of Y0
  __m256i blue1, green1, red1;  // pixels of Y1
};

// Eight groups whose Y0, U, Y1, V start `shift` bits up each 64-bit lane: the rule in double,
// truncated to int32.
template <int shift>
inline ChannelsOf8 convertEightGroups(__m512i lanes, const Gains& gains) {
  const __m512d luma0 =
      _mm512_mul_pd(gains.luma, byteDifference<shift>(lanes, gains.lumaBias, gains));
  const __m512d uDiff = byteDifference<shift + 8>(lanes, gains.chromaBias, gains);
  const __m512d luma1 =
      _mm512_mul_pd(gains.luma, byteDifference<shift + 16>(lanes, gains.lumaBias, gains));
  const __m512d vDiff = byteDifference<shift + 24>(lanes, gains.chromaBias, gains);
  const __m512d blueU = _mm512_mul_pd(gains.blueFromU, uDiff);
  const __m512d greenU = _mm512_mul_pd(gains.greenFromU, uDiff);
  const __m512d greenV = _mm512_mul_pd(gains.greenFromV, vDiff);
  const __m512d redV = _mm512_mul_pd(gains.redFromV, vDiff);
  ChannelsOf8 out;
  out.blue0 = _mm512_cvttpd_epi32(_mm512_add_pd(luma0, blueU));
  out.green0 = _mm512_cvttpd_epi32(_mm512_sub_pd(_mm512_sub_pd(luma0, greenU), greenV));
  out.red0 = _mm512_cvttpd_epi32(_mm512_add_pd(luma0, redV));
  out.blue1 = _mm512_cvttpd_epi32(_mm512_add_pd(luma1, blueU));
  out.green1 = _mm512_cvttpd_epi32(_mm512_sub_pd(_mm512_sub_pd(luma1, greenU), greenV));
  out.red1 = _mm512_cvttpd_epi32(_mm512_add_pd(luma1, redV));
  return out;
}

// Signed saturation to int16 keeps every truncated value (they lie well within), and the
// unsigned byte saturation that follows is exactly the clamp to 0..255.
inline __m256i clampToBytes(__m256i even0, __m256i even1, __m256i odd0, __m256i odd1) {
  return _mm256_packus_epi16(_mm256_packs_epi32(even0, even1), _mm256_packs_epi32(odd0, odd1));
}

}  // namespace

void convertRowAvx512(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const Gains gains;
  const __m512i interleaveLow = _mm512_load_si512(kInterleave.bytes);
  const __m512i interleaveHigh = _mm512_load_si512(kInterleave.bytes + 64);

  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    // Each 64-bit lane holds two groups, Y0 U Y1 V from the low byte up.
    const __m512i lanes = _mm512_loadu_si512(yuy2);
    const ChannelsOf8 even = convertEightGroups<0>(lanes, gains);
    const ChannelsOf8 odd = convertEightGroups<32>(lanes, gains);

    const __m256i blue = clampToBytes(even.blue0, even.blue1, odd.blue0, odd.blue1);
    const __m256i green = clampToBytes(even.green0, even.green1, odd.green0, odd.green1);
    const __m256i red = clampToBytes(even.red0, even.red1, odd.red0, odd.red1);

    const __m512i blueGreen = _mm512_inserti64x4(_mm512_castsi256_si512(blue), green, 1);
    const __m512i redOnly = _mm512_castsi256_si512(red);
    const __m512i out0 = _mm512_permutex2var_epi8(blueGreen, interleaveLow, redOnly);
    const __m512i out1 = _mm512_permutex2var_epi8(blueGreen, interleaveHigh, redOnly);
    _mm512_storeu_si512(bgr, out0);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgr + 64), _mm512_castsi512_si256(out1));

    yuy2 += kPixelsPerStep * 2;
    bgr += kPixelsPerStep * 3;
  }
  if (x < width) convertRowReference(yuy2, bgr, width - x);
}

}  // namespace yuy2

#endif  // DV_YUY2_X86_ROWS
