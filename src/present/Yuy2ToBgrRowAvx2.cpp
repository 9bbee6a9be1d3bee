// AVX2 row: 16 pixels (8 groups) per step. A fast path in 32-bit integers gives the rule's
// bytes wherever it can prove them; the few groups it cannot are done again by the rule itself,
// in double precision four lanes at a time. Compiled with AVX2 enabled for this file only; the
// frame function calls it only when the CPU reports AVX2.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <immintrin.h>

#include "present/Yuy2ToBgrPixel.h"
#include "present/Yuy2ToBgrRecheck.h"
#include "present/Yuy2ToBgrScaledSums.h"

namespace yuy2 {
namespace {

constexpr int kPixelsPerStep = 16;

// The 8 groups are loaded as four 64-bit lanes of two groups each, so the work splits into the
// even groups (low half of each lane) and the odd groups (high half). After truncation and the
// packs, the channel bytes of the 16 pixels sit in this order within 16 bytes: group g, luma p
// (0: Y0, 1: Y1) lands at (g % 2) * 8 + p * 4 + g / 2.
constexpr int packedPosition(int pixel) {
  const int group = pixel / 2;
  return (group % 2) * 8 + (pixel % 2) * 4 + group / 2;
}

// Byte selectors: output chunk k (16 bytes) takes from channel c the bytes that
// kSelectors.bytes[k][c] names; 0x80 yields zero. A plain array in this file only, so no code
// built with these instruction sets is shared with other files.
struct SelectorTable {
  std::uint8_t bytes[3][3][16];
};

constexpr SelectorTable makeSelectors() {
  SelectorTable table{};
  for (int chunk = 0; chunk < 3; ++chunk) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int i = 0; i < 16; ++i) {
        const int out = chunk * 16 + i;
        table.bytes[chunk][channel][i] =
            static_cast<std::uint8_t>(out % 3 == channel ? packedPosition(out / 3) : 0x80);
      }
    }
  }
  return table;
}

alignas(16) constexpr SelectorTable kSelectors = makeSelectors();

inline __m128i selector(int chunk, int channel) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(kSelectors.bytes[chunk][channel]));
}

// The doubles from 2^52 to 2^53 are exactly the integers, held in the low mantissa bits. A
// byte written into the low bits of 2^52 is the double 2^52 + byte, and subtracting
// 2^52 + offset leaves exactly byte - offset: the same double the reference gets by
// converting the integer difference, without a conversion instruction.
constexpr double kTwoPow52 = 4503599627370496.0;
constexpr long long kTwoPow52Bits = 0x4330000000000000LL;

struct Gains {
  __m256d luma = _mm256_set1_pd(kLumaGain);
  __m256d blueFromU = _mm256_set1_pd(kBlueFromU);
  __m256d greenFromU = _mm256_set1_pd(kGreenFromU);
  __m256d greenFromV = _mm256_set1_pd(kGreenFromV);
  __m256d redFromV = _mm256_set1_pd(kRedFromV);
  __m256d lumaBias = _mm256_set1_pd(kTwoPow52 + kLumaOffset);
  __m256d chromaBias = _mm256_set1_pd(kTwoPow52 + kChromaOffset);
  __m256i twoPow52Bits = _mm256_set1_epi64x(kTwoPow52Bits);
  __m256i lowByte = _mm256_set1_epi64x(0xff);
};

// The byte `shift` bits up each 64-bit lane, minus `bias` (2^52 + its offset), as doubles.
template <int shift>
inline __m256d byteDifference(__m256i lanes, __m256d bias, const Gains& gains) {
  const __m256i shifted = shift == 0 ? lanes : _mm256_srli_epi64(lanes, shift);
  const __m256i byte = shift == 56 ? shifted : _mm256_and_si256(shifted, gains.lowByte);
  const __m256i placed = _mm256_or_si256(byte, gains.twoPow52Bits);
  return _mm256_sub_pd(_mm256_castsi256_pd(placed), bias);
}

struct ChannelsOf4 {
  __m128i blue0, green0, red0;  // pixels of Y0
  __m128i blue1, green1, red1;  // pixels of Y1
};

// Four groups whose Y0, U, Y1, V start `shift` bits up each 64-bit lane: the rule in double,
// truncated to int32.
template <int shift>
inline ChannelsOf4 convertFourGroups(__m256i lanes, const Gains& gains) {
  const __m256d luma0 =
      _mm256_mul_pd(gains.luma, byteDifference<shift>(lanes, gains.lumaBias, gains));
  const __m256d uDiff = byteDifference<shift + 8>(lanes, gains.chromaBias, gains);
  const __m256d luma1 =
      _mm256_mul_pd(gains.luma, byteDifference<shift + 16>(lanes, gains.lumaBias, gains));
  const __m256d vDiff = byteDifference<shift + 24>(lanes, gains.chromaBias, gains);
  const __m256d blueU = _mm256_mul_pd(gains.blueFromU, uDiff);
  const __m256d greenU = _mm256_mul_pd(gains.greenFromU, uDiff);
  const __m256d greenV = _mm256_mul_pd(gains.greenFromV, vDiff);
  const __m256d redV = _mm256_mul_pd(gains.redFromV, vDiff);
  ChannelsOf4 out;
  out.blue0 = _mm256_cvttpd_epi32(_mm256_add_pd(luma0, blueU));
  out.green0 = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(luma0, greenU), greenV));
  out.red0 = _mm256_cvttpd_epi32(_mm256_add_pd(luma0, redV));
  out.blue1 = _mm256_cvttpd_epi32(_mm256_add_pd(luma1, blueU));
  out.green1 = _mm256_cvttpd_epi32(_mm256_sub_pd(_mm256_sub_pd(luma1, greenU), greenV));
  out.red1 = _mm256_cvttpd_epi32(_mm256_add_pd(luma1, redV));
  return out;
}

// Signed saturation to int16 keeps every truncated value, and the unsigned byte saturation
// that follows is exactly the clamp to 0..255.
inline __m128i clampToBytes(__m128i even0, __m128i even1, __m128i odd0, __m128i odd1) {
  return _mm_packus_epi16(_mm_packs_epi32(even0, even1), _mm_packs_epi32(odd0, odd1));
}

// The rule itself, in double: `width` pixels, in steps of 16 and then the reference row. Kept
// out of line: only the rechecked groups come here.
[[gnu::noinline]] void convertRowExact(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const __m128i selectors[3][3] = {{selector(0, 0), selector(0, 1), selector(0, 2)},
                                   {selector(1, 0), selector(1, 1), selector(1, 2)},
                                   {selector(2, 0), selector(2, 1), selector(2, 2)}};
  const Gains gains;
  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    // Each 64-bit lane holds two groups, Y0 U Y1 V from the low byte up.
    const __m256i lanes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yuy2));
    const ChannelsOf4 even = convertFourGroups<0>(lanes, gains);
    const ChannelsOf4 odd = convertFourGroups<32>(lanes, gains);

    const __m128i channels[3] = {clampToBytes(even.blue0, even.blue1, odd.blue0, odd.blue1),
                                 clampToBytes(even.green0, even.green1, odd.green0, odd.green1),
                                 clampToBytes(even.red0, even.red1, odd.red0, odd.red1)};

    for (int chunk = 0; chunk < 3; ++chunk) {
      const __m128i out =
          _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(channels[0], selectors[chunk][0]),
                                    _mm_shuffle_epi8(channels[1], selectors[chunk][1])),
                       _mm_shuffle_epi8(channels[2], selectors[chunk][2]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + chunk * 16), out);
    }

    yuy2 += kPixelsPerStep * 2;
    bgr += kPixelsPerStep * 3;
  }
  if (x < width) convertRowReference(yuy2, bgr, width - x);
}

// Constants of the fast path (see Yuy2ToBgrScaledSums.h), read from memory where they are
// used: an instruction takes such an operand at no cost, while the sixteen registers cannot
// hold them all next to a step's working values, and the compiler would rebuild them every step.
struct FastConstants {
  alignas(32) std::int32_t luma[8];
  alignas(32) std::int32_t blueFromU[8];
  alignas(32) std::int32_t greenFromU[8];
  alignas(32) std::int32_t greenFromV[8];
  alignas(32) std::int32_t redFromV[8];
  alignas(32) std::int32_t blueBase[8];
  alignas(32) std::int32_t greenBase[8];
  alignas(32) std::int32_t redBase[8];
  alignas(32) std::int32_t wholeBits[8];
  alignas(32) std::int32_t lowByte[8];
  // Output byte i of 8 pixels (the integer parts of their groups' Y0 pixels, then of the Y1
  // pixels, in runs of 4 bytes; blue and green in one vector, red in another), for the first
  // 16 and the last 8 output bytes; the same in both 128-bit lanes.
  alignas(32) std::uint8_t headFromBlueGreen[32];
  alignas(32) std::uint8_t headFromRed[32];
  alignas(32) std::uint8_t tailFromBlueGreen[32];
  alignas(32) std::uint8_t tailFromRed[32];
};

constexpr FastConstants makeFastConstants() {
  FastConstants table{};
  for (int lane = 0; lane < 8; ++lane) {
    table.luma[lane] = scaled::kLumaGain;
    table.blueFromU[lane] = scaled::kBlueFromU;
    table.greenFromU[lane] = scaled::kGreenFromU;
    table.greenFromV[lane] = scaled::kGreenFromV;
    table.redFromV[lane] = scaled::kRedFromV;
    table.blueBase[lane] = scaled::kBlueBase;
    table.greenBase[lane] = scaled::kGreenBase;
    table.redBase[lane] = scaled::kRedBase;
    table.wholeBits[lane] = static_cast<std::int32_t>(scaled::kWholeBits);
    table.lowByte[lane] = 0xff;
  }
  for (int part = 0; part < 2; ++part) {
    for (int i = 0; i < 16; ++i) {
      const int byte = part * 16 + i;
      std::uint8_t blueGreen = 0x80;
      std::uint8_t red = 0x80;
      if (byte < 24) {
        const int pixel = byte / 3;
        const int channel = byte % 3;
        const int position = (pixel % 2) * 4 + pixel / 2;
        if (channel == 2) {
          red = static_cast<std::uint8_t>(position);
        } else {
          blueGreen = static_cast<std::uint8_t>(channel * 8 + position);
        }
      }
      for (int lane = 0; lane < 32; lane += 16) {
        (part == 0 ? table.headFromBlueGreen : table.tailFromBlueGreen)[lane + i] = blueGreen;
        (part == 0 ? table.headFromRed : table.tailFromRed)[lane + i] = red;
      }
    }
  }
  return table;
}

constexpr FastConstants kFastConstants = makeFastConstants();
// Read through a volatile pointer so that the compiler cannot turn the loads back into
// constants it rebuilds in registers.
const FastConstants* volatile const kFastConstantsAt = &kFastConstants;

template <typename Lane>
inline __m256i constant(const Lane (&lanes)[32 / sizeof(Lane)]) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
}

// Integer parts of the Y0 and the Y1 sums of one channel as 16 words; the saturating packs that
// follow give the clamp to 0..255.
inline __m256i integerParts(__m256i sum0, __m256i sum1) {
  return _mm256_packs_epi32(_mm256_srai_epi32(sum0, scaled::kFractionBits),
                            _mm256_srai_epi32(sum1, scaled::kFractionBits));
}

// The checked bits (kWholeBits) of the Y0 and the Y1 sum of one channel, the lesser of the two:
// zero where either needs a second look.
inline __m256i nearer(__m256i sum0, __m256i sum1, const FastConstants& table) {
  const __m256i wholeBits = constant(table.wholeBits);
  return _mm256_min_epu32(_mm256_and_si256(sum0, wholeBits), _mm256_and_si256(sum1, wholeBits));
}

// One step of the fast path: 16 pixels converted and stored, and the groups it could not prove
// returned as bits.
inline std::uint32_t convertStep(const std::uint8_t* yuy2, std::uint8_t* bgr,
                                 const FastConstants& table) {
  // One group {Y0, U, Y1, V} per 32-bit lane.
  const __m256i groups = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yuy2));
  const __m256i lowByte = constant(table.lowByte);
  const __m256i u = _mm256_and_si256(_mm256_srli_epi32(groups, 8), lowByte);
  const __m256i v = _mm256_srli_epi32(groups, 24);
  const __m256i luma0 = _mm256_mullo_epi32(_mm256_and_si256(groups, lowByte), constant(table.luma));
  const __m256i luma1 = _mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(groups, 16), lowByte),
                                           constant(table.luma));
  const __m256i blue =
      _mm256_add_epi32(_mm256_mullo_epi32(u, constant(table.blueFromU)), constant(table.blueBase));
  const __m256i green =
      _mm256_sub_epi32(_mm256_sub_epi32(constant(table.greenBase),
                                        _mm256_mullo_epi32(u, constant(table.greenFromU))),
                       _mm256_mullo_epi32(v, constant(table.greenFromV)));
  const __m256i red =
      _mm256_add_epi32(_mm256_mullo_epi32(v, constant(table.redFromV)), constant(table.redBase));

  const __m256i blue0 = _mm256_add_epi32(luma0, blue);
  const __m256i blue1 = _mm256_add_epi32(luma1, blue);
  const __m256i green0 = _mm256_add_epi32(luma0, green);
  const __m256i green1 = _mm256_add_epi32(luma1, green);
  const __m256i red0 = _mm256_add_epi32(luma0, red);
  const __m256i red1 = _mm256_add_epi32(luma1, red);

  const __m256i blueGreen =
      _mm256_packus_epi16(integerParts(blue0, blue1), integerParts(green0, green1));
  const __m256i redWords = integerParts(red0, red1);
  const __m256i reds = _mm256_packus_epi16(redWords, redWords);
  const __m256i head =
      _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, constant(table.headFromBlueGreen)),
                      _mm256_shuffle_epi8(reds, constant(table.headFromRed)));
  const __m256i tail =
      _mm256_or_si256(_mm256_shuffle_epi8(blueGreen, constant(table.tailFromBlueGreen)),
                      _mm256_shuffle_epi8(reds, constant(table.tailFromRed)));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr), _mm256_castsi256_si128(head));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr + 16), _mm256_castsi256_si128(tail));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 24), _mm256_extracti128_si256(head, 1));
  _mm_storel_epi64(reinterpret_cast<__m128i*>(bgr + 40), _mm256_extracti128_si256(tail, 1));

  const __m256i nearest =
      _mm256_min_epu32(_mm256_min_epu32(nearer(blue0, blue1, table), nearer(green0, green1, table)),
                       nearer(red0, red1, table));
  const __m256i flagged = _mm256_cmpeq_epi32(nearest, _mm256_setzero_si256());
  return static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(flagged)));
}

}  // namespace

void convertRowAvx2(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const FastConstants& constants = *kFastConstantsAt;
  convertRowWithRecheck<convertRowExact, kPixelsPerStep>(
      yuy2, bgr, width, [&constants](const std::uint8_t* in, std::uint8_t* out) {
        return convertStep(in, out, constants);
      });
}

}  // namespace yuy2

#endif  // DV_YUY2_X86_ROWS
