// AVX-512 row: 32 pixels (16 groups) per step. A fast path in 32-bit integers gives the rule's
// bytes wherever it can prove them; the few groups it cannot are done again by the rule itself,
// in double precision eight lanes at a time. Compiled with AVX-512 F/BW/VL/VBMI enabled for
// this file only; the frame function calls it only when the CPU reports all four.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <immintrin.h>

#include "present/Yuy2ToBgrPixel.h"
#include "present/Yuy2ToBgrRecheck.h"
#include "present/Yuy2ToBgrScaledSums.h"

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

// The rule itself, in double: `width` pixels, in steps of 32 and then the reference row. Kept
// out of line: only the rechecked groups come here.
[[gnu::noinline]] void convertRowExact(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
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

// Byte selectors of the fast path: they move U and Y1 of each 32-bit lane to its low byte, and
// do the final interleave. After the packs, each 128-bit lane L holds for its groups 4L .. 4L + 3
// the blue bytes of the Y0 pixels, of the Y1 pixels, then the green ones, in runs of 4; the red
// vector holds the red bytes the same way. Output byte 3p + c takes channel c of pixel p; indices
// from 64 up select from the red vector.
struct FastSelectors {
  alignas(64) std::uint8_t pickU[64];
  alignas(64) std::uint8_t pickY1[64];
  alignas(64) std::uint8_t interleaveLow[64];
  alignas(64) std::uint8_t interleaveHigh[64];
};

constexpr FastSelectors makeFastSelectors() {
  FastSelectors table{};
  for (int i = 0; i < 64; ++i) {
    const bool low = i % 4 == 0;
    table.pickU[i] = static_cast<std::uint8_t>(low ? (i % 16) + 1 : 0x80);
    table.pickY1[i] = static_cast<std::uint8_t>(low ? (i % 16) + 2 : 0x80);
  }
  for (int out = 0; out < 96; ++out) {
    const int pixel = out / 3;
    const int channel = out % 3;
    const int group = pixel / 2;
    const int run = (group / 4) * 16 + (pixel % 2) * 4 + group % 4;
    const auto index = static_cast<std::uint8_t>(channel == 2 ? 64 + run : channel * 8 + run);
    (out < 64 ? table.interleaveLow[out] : table.interleaveHigh[out - 64]) = index;
  }
  return table;
}

constexpr FastSelectors kFastSelectors = makeFastSelectors();

inline __m512i selector(const std::uint8_t (&bytes)[64]) { return _mm512_load_si512(bytes); }

// Integer parts of the Y0 and the Y1 sums of one channel as words; the saturating packs that
// follow give the clamp to 0..255.
inline __m512i integerParts(__m512i sum0, __m512i sum1) {
  return _mm512_packs_epi32(_mm512_srai_epi32(sum0, scaled::kFractionBits),
                            _mm512_srai_epi32(sum1, scaled::kFractionBits));
}

// One step of the fast path: 32 pixels converted and stored, and the groups it could not prove
// returned as bits.
inline std::uint32_t convertStep(const std::uint8_t* yuy2, std::uint8_t* bgr) {
  // One group {Y0, U, Y1, V} per 32-bit lane.
  const __m512i groups = _mm512_loadu_si512(yuy2);
  const __m512i u = _mm512_shuffle_epi8(groups, selector(kFastSelectors.pickU));
  const __m512i v = _mm512_srli_epi32(groups, 24);
  const __m512i luma0 = _mm512_mullo_epi32(_mm512_and_si512(groups, _mm512_set1_epi32(0xff)),
                                           _mm512_set1_epi32(scaled::kLumaGain));
  const __m512i luma1 =
      _mm512_mullo_epi32(_mm512_shuffle_epi8(groups, selector(kFastSelectors.pickY1)),
                         _mm512_set1_epi32(scaled::kLumaGain));
  const __m512i blue =
      _mm512_add_epi32(_mm512_mullo_epi32(u, _mm512_set1_epi32(scaled::kBlueFromU)),
                       _mm512_set1_epi32(scaled::kBlueBase));
  const __m512i green = _mm512_sub_epi32(
      _mm512_sub_epi32(_mm512_set1_epi32(scaled::kGreenBase),
                       _mm512_mullo_epi32(u, _mm512_set1_epi32(scaled::kGreenFromU))),
      _mm512_mullo_epi32(v, _mm512_set1_epi32(scaled::kGreenFromV)));
  const __m512i red = _mm512_add_epi32(_mm512_mullo_epi32(v, _mm512_set1_epi32(scaled::kRedFromV)),
                                       _mm512_set1_epi32(scaled::kRedBase));

  const __m512i blue0 = _mm512_add_epi32(luma0, blue);
  const __m512i blue1 = _mm512_add_epi32(luma1, blue);
  const __m512i green0 = _mm512_add_epi32(luma0, green);
  const __m512i green1 = _mm512_add_epi32(luma1, green);
  const __m512i red0 = _mm512_add_epi32(luma0, red);
  const __m512i red1 = _mm512_add_epi32(luma1, red);

  const __m512i blueGreen =
      _mm512_packus_epi16(integerParts(blue0, blue1), integerParts(green0, green1));
  const __m512i redWords = integerParts(red0, red1);
  const __m512i reds = _mm512_packus_epi16(redWords, redWords);
  _mm512_storeu_si512(
      bgr, _mm512_permutex2var_epi8(blueGreen, selector(kFastSelectors.interleaveLow), reds));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgr + 64),
                      _mm512_castsi512_si256(_mm512_permutex2var_epi8(
                          blueGreen, selector(kFastSelectors.interleaveHigh), reds)));

  // A lane stays proven while each of its six sums has one of the checked bits set.
  const __m512i wholeBits = _mm512_set1_epi32(static_cast<int>(scaled::kWholeBits));
  __mmask16 proven = _mm512_test_epi32_mask(blue0, wholeBits);
  proven = _mm512_mask_test_epi32_mask(proven, blue1, wholeBits);
  proven = _mm512_mask_test_epi32_mask(proven, green0, wholeBits);
  proven = _mm512_mask_test_epi32_mask(proven, green1, wholeBits);
  proven = _mm512_mask_test_epi32_mask(proven, red0, wholeBits);
  proven = _mm512_mask_test_epi32_mask(proven, red1, wholeBits);
  return static_cast<std::uint32_t>(~proven & 0xffffu);
}

}  // namespace

void convertRowAvx512(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  convertRowWithRecheck<convertRowExact, kPixelsPerStep>(yuy2, bgr, width, convertStep);
}

}  // namespace yuy2

#endif  // DV_YUY2_X86_ROWS
