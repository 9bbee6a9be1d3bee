// AVX2 row: 16 pixels (8 groups) per step, in double precision four lanes at a time.
// Compiled with AVX2 enabled for this file only; the frame function calls it only when the
// CPU reports AVX2.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <immintrin.h>

#include "present/Yuy2ToBgrPixel.h"

namespace yuy2 {
namespace {

constexpr int kPixelsPerStep = 16;

// After the packs, channel bytes of the 16 pixels sit in this order within 16 bytes:
// group g (0..7), luma p (0: Y0, 1: Y1) lands at (g / 4) * 8 + p * 4 + g % 4.
constexpr int packedPosition(int pixel) {
  const int group = pixel / 2;
  return (group / 4) * 8 + (pixel % 2) * 4 + group % 4;
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

struct Gains {
  __m256d luma = _mm256_set1_pd(kLumaGain);
  __m256d blueFromU = _mm256_set1_pd(kBlueFromU);
  __m256d greenFromU = _mm256_set1_pd(kGreenFromU);
  __m256d greenFromV = _mm256_set1_pd(kGreenFromV);
  __m256d redFromV = _mm256_set1_pd(kRedFromV);
};

struct ChannelsOf4 {
  __m128i blue0, green0, red0;  // pixels of Y0
  __m128i blue1, green1, red1;  // pixels of Y1
};

inline ChannelsOf4 convertFourGroups(__m128i y0, __m128i u, __m128i y1, __m128i v,
                                     const Gains& gains) {
  const __m256d luma0 = _mm256_mul_pd(gains.luma, _mm256_cvtepi32_pd(y0));
  const __m256d luma1 = _mm256_mul_pd(gains.luma, _mm256_cvtepi32_pd(y1));
  const __m256d uDiff = _mm256_cvtepi32_pd(u);
  const __m256d vDiff = _mm256_cvtepi32_pd(v);
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

inline __m128i lowHalf(__m256i v) { return _mm256_castsi256_si128(v); }
inline __m128i highHalf(__m256i v) { return _mm256_extracti128_si256(v, 1); }

// Signed saturation to int16 keeps every truncated value, and the unsigned byte saturation
// that follows is exactly the clamp to 0..255.
inline __m128i clampToBytes(__m128i low0, __m128i low1, __m128i high0, __m128i high1) {
  return _mm_packus_epi16(_mm_packs_epi32(low0, low1), _mm_packs_epi32(high0, high1));
}

}  // namespace

void convertRowAvx2(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const __m128i selectors[3][3] = {{selector(0, 0), selector(0, 1), selector(0, 2)},
                                   {selector(1, 0), selector(1, 1), selector(1, 2)},
                                   {selector(2, 0), selector(2, 1), selector(2, 2)}};
  const Gains gains;
  const __m256i byteMask = _mm256_set1_epi32(0xff);
  const __m256i lumaOffset = _mm256_set1_epi32(kLumaOffset);
  const __m256i chromaOffset = _mm256_set1_epi32(kChromaOffset);

  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    // Each 32-bit lane is one group: Y0 in the low byte, then U, Y1, V.
    const __m256i groups = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(yuy2));
    const __m256i y0 = _mm256_sub_epi32(_mm256_and_si256(groups, byteMask), lumaOffset);
    const __m256i u =
        _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(groups, 8), byteMask), chromaOffset);
    const __m256i y1 =
        _mm256_sub_epi32(_mm256_and_si256(_mm256_srli_epi32(groups, 16), byteMask), lumaOffset);
    const __m256i v = _mm256_sub_epi32(_mm256_srli_epi32(groups, 24), chromaOffset);

    const ChannelsOf4 first =
        convertFourGroups(lowHalf(y0), lowHalf(u), lowHalf(y1), lowHalf(v), gains);
    const ChannelsOf4 second =
        convertFourGroups(highHalf(y0), highHalf(u), highHalf(y1), highHalf(v), gains);

    const __m128i channels[3] = {
        clampToBytes(first.blue0, first.blue1, second.blue0, second.blue1),
        clampToBytes(first.green0, first.green1, second.green0, second.green1),
        clampToBytes(first.red0, first.red1, second.red0, second.red1)};

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

}  // namespace yuy2

#endif  // DV_YUY2_X86_ROWS
