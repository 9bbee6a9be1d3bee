// AVX-512 row: 32 pixels (16 groups) per step, in double precision eight lanes at a time.
// Bytes are spread into double lanes and the results interleaved with byte permutes.
// Compiled with AVX-512 F/BW/VL/VBMI enabled for this file only; the frame function calls it
// only when the CPU reports all four.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <immintrin.h>

#include "present/Yuy2ToBgrPixel.h"

namespace yuy2 {
namespace {

constexpr int kPixelsPerStep = 32;

// After the packs, channel bytes of the 32 pixels sit in this order within a 32-byte vector:
// group g (0..15), luma p (0: Y0, 1: Y1) lands at lane * 16 + half * 8 + p * 4 + k, where
// half = g / 8, lane = (g % 8) / 4, k = g % 4.
constexpr int packedPosition(int pixel) {
  const int group = pixel / 2;
  const int luma = pixel % 2;
  return ((group % 8) / 4) * 16 + (group / 8) * 8 + luma * 4 + group % 4;
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

struct Gains {
  __m512d luma = _mm512_set1_pd(kLumaGain);
  __m512d blueFromU = _mm512_set1_pd(kBlueFromU);
  __m512d greenFromU = _mm512_set1_pd(kGreenFromU);
  __m512d greenFromV = _mm512_set1_pd(kGreenFromV);
  __m512d redFromV = _mm512_set1_pd(kRedFromV);
};

struct ChannelsOf8 {
  __m256i blue0, green0, red0;  // pixels of Y0
  __m256i blue1, green1, red1;  // pixels of Y1
};

// Byte selectors that move one field of eight groups into the low byte of eight 64-bit lanes:
// field f (0: Y0, 1: U, 2: Y1, 3: V) of groups 8h .. 8h + 7 for kFieldPick.bytes[h][f].
struct FieldPickTable {
  std::uint8_t bytes[2][4][64];
};

constexpr FieldPickTable makeFieldPicks() {
  FieldPickTable table{};
  for (int half = 0; half < 2; ++half) {
    for (int field = 0; field < 4; ++field) {
      for (int lane = 0; lane < 8; ++lane) {
        table.bytes[half][field][8 * lane] =
            static_cast<std::uint8_t>((8 * half + lane) * 4 + field);
      }
    }
  }
  return table;
}

alignas(64) constexpr FieldPickTable kFieldPick = makeFieldPicks();

// 2^52: the doubles from 2^52 to 2^53 are exactly the integers, with the integer in the low
// mantissa bits. A byte written into the low bits of 2^52 is the double 2^52 + byte, and
// subtracting 2^52 + offset leaves exactly byte - offset: the same double the reference gets
// by converting the integer difference, without a conversion instruction.
constexpr double kTwoPow52 = 4503599627370496.0;
constexpr long long kTwoPow52Bits = 0x4330000000000000LL;
constexpr __mmask64 kLowByteOfEachLane = 0x0101010101010101ULL;

struct FieldPicks {
  __m512i of[2][4];
  FieldPicks() {
    for (int half = 0; half < 2; ++half) {
      for (int field = 0; field < 4; ++field) {
        of[half][field] = _mm512_load_si512(kFieldPick.bytes[half][field]);
      }
    }
  }
};

// Field `field` of eight groups as doubles, minus `bias` (2^52 + the field's offset).
inline __m512d fieldDifference(__m512i groups, __m512i pick, __m512i twoPow52Bits, __m512d bias) {
  const __m512i placed =
      _mm512_mask_permutexvar_epi8(twoPow52Bits, kLowByteOfEachLane, pick, groups);
  return _mm512_sub_pd(_mm512_castsi512_pd(placed), bias);
}

// Eight groups from their luma and chroma differences: the rule in double, truncated to int32.
inline ChannelsOf8 convertEightGroups(__m512d y0Diff, __m512d uDiff, __m512d y1Diff, __m512d vDiff,
                                      const Gains& gains) {
  const __m512d luma0 = _mm512_mul_pd(gains.luma, y0Diff);
  const __m512d luma1 = _mm512_mul_pd(gains.luma, y1Diff);
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
inline __m256i clampToBytes(__m256i low0, __m256i low1, __m256i high0, __m256i high1) {
  return _mm256_packus_epi16(_mm256_packs_epi32(low0, low1), _mm256_packs_epi32(high0, high1));
}

}  // namespace

void convertRowAvx512(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const Gains gains;
  const FieldPicks picks;
  const __m512i twoPow52Bits = _mm512_set1_epi64(kTwoPow52Bits);
  const __m512d lumaBias = _mm512_set1_pd(kTwoPow52 + kLumaOffset);
  const __m512d chromaBias = _mm512_set1_pd(kTwoPow52 + kChromaOffset);
  const __m512i interleaveLow = _mm512_load_si512(kInterleave.bytes);
  const __m512i interleaveHigh = _mm512_load_si512(kInterleave.bytes + 64);

  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    const __m512i groups = _mm512_loadu_si512(yuy2);
    ChannelsOf8 halves[2];
    for (int half = 0; half < 2; ++half) {
      const __m512i* pick = picks.of[half];
      halves[half] =
          convertEightGroups(fieldDifference(groups, pick[0], twoPow52Bits, lumaBias),
                             fieldDifference(groups, pick[1], twoPow52Bits, chromaBias),
                             fieldDifference(groups, pick[2], twoPow52Bits, lumaBias),
                             fieldDifference(groups, pick[3], twoPow52Bits, chromaBias), gains);
    }
    const ChannelsOf8& first = halves[0];
    const ChannelsOf8& second = halves[1];

    const __m256i blue = clampToBytes(first.blue0, first.blue1, second.blue0, second.blue1);
    const __m256i green = clampToBytes(first.green0, first.green1, second.green0, second.green1);
    const __m256i red = clampToBytes(first.red0, first.red1, second.red0, second.red1);

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
