// SSE2 row, for x86-64 CPUs without AVX2: 8 pixels (4 groups) per step, in double precision
// two lanes at a time. SSE2 has no byte shuffle, so the clamped channel bytes are interleaved
// into blue-green-red order one by one.
#include "present/Yuy2ToBgrRows.h"

#ifdef DV_YUY2_X86_ROWS

#include <emmintrin.h>

#include "present/Yuy2ToBgrPixel.h"

namespace yuy2 {
namespace {

constexpr int kPixelsPerStep = 8;

struct Gains {
  __m128d luma = _mm_set1_pd(kLumaGain);
  __m128d blueFromU = _mm_set1_pd(kBlueFromU);
  __m128d greenFromU = _mm_set1_pd(kGreenFromU);
  __m128d greenFromV = _mm_set1_pd(kGreenFromV);
  __m128d redFromV = _mm_set1_pd(kRedFromV);
};

struct ChannelsOf2 {
  __m128i blue0, green0, red0;  // pixels of Y0, in the low two int32 lanes
  __m128i blue1, green1, red1;  // pixels of Y1
};

// Two groups, from the low two int32 lanes of each argument.
inline ChannelsOf2 convertTwoGroups(__m128i y0, __m128i u, __m128i y1, __m128i v,
                                    const Gains& gains) {
  const __m128d luma0 = _mm_mul_pd(gains.luma, _mm_cvtepi32_pd(y0));
  const __m128d luma1 = _mm_mul_pd(gains.luma, _mm_cvtepi32_pd(y1));
  const __m128d uDiff = _mm_cvtepi32_pd(u);
  const __m128d vDiff = _mm_cvtepi32_pd(v);
  const __m128d blueU = _mm_mul_pd(gains.blueFromU, uDiff);
  const __m128d greenU = _mm_mul_pd(gains.greenFromU, uDiff);
  const __m128d greenV = _mm_mul_pd(gains.greenFromV, vDiff);
  const __m128d redV = _mm_mul_pd(gains.redFromV, vDiff);
  ChannelsOf2 out;
  out.blue0 = _mm_cvttpd_epi32(_mm_add_pd(luma0, blueU));
  out.green0 = _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(luma0, greenU), greenV));
  out.red0 = _mm_cvttpd_epi32(_mm_add_pd(luma0, redV));
  out.blue1 = _mm_cvttpd_epi32(_mm_add_pd(luma1, blueU));
  out.green1 = _mm_cvttpd_epi32(_mm_sub_pd(_mm_sub_pd(luma1, greenU), greenV));
  out.red1 = _mm_cvttpd_epi32(_mm_add_pd(luma1, redV));
  return out;
}

inline __m128i upperPair(__m128i v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)); }

// Four int32 of the Y0 pixels and four of the Y1 pixels to 8 int16 [Y0 pixels, Y1 pixels].
inline __m128i joinPairs(__m128i first0, __m128i second0, __m128i first1, __m128i second1) {
  return _mm_packs_epi32(_mm_unpacklo_epi64(first0, second0), _mm_unpacklo_epi64(first1, second1));
}

}  // namespace

void convertRowSse2(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  const Gains gains;
  const __m128i byteMask = _mm_set1_epi32(0xff);
  const __m128i lumaOffset = _mm_set1_epi32(kLumaOffset);
  const __m128i chromaOffset = _mm_set1_epi32(kChromaOffset);
  alignas(16) std::uint8_t blueGreen[16];
  alignas(16) std::uint8_t red[16];

  int x = 0;
  for (; x + kPixelsPerStep <= width; x += kPixelsPerStep) {
    // Each 32-bit lane is one group: Y0 in the low byte, then U, Y1, V.
    const __m128i groups = _mm_loadu_si128(reinterpret_cast<const __m128i*>(yuy2));
    const __m128i y0 = _mm_sub_epi32(_mm_and_si128(groups, byteMask), lumaOffset);
    const __m128i u =
        _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(groups, 8), byteMask), chromaOffset);
    const __m128i y1 =
        _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(groups, 16), byteMask), lumaOffset);
    const __m128i v = _mm_sub_epi32(_mm_srli_epi32(groups, 24), chromaOffset);

    const ChannelsOf2 first = convertTwoGroups(y0, u, y1, v, gains);
    const ChannelsOf2 second =
        convertTwoGroups(upperPair(y0), upperPair(u), upperPair(y1), upperPair(v), gains);

    // Unsigned byte saturation of the int16 values is exactly the clamp to 0..255.
    const __m128i blue16 = joinPairs(first.blue0, second.blue0, first.blue1, second.blue1);
    const __m128i green16 = joinPairs(first.green0, second.green0, first.green1, second.green1);
    const __m128i red16 = joinPairs(first.red0, second.red0, first.red1, second.red1);
    _mm_store_si128(reinterpret_cast<__m128i*>(blueGreen), _mm_packus_epi16(blue16, green16));
    _mm_store_si128(reinterpret_cast<__m128i*>(red), _mm_packus_epi16(red16, red16));

    // Byte i of each channel: group i % 4, luma i / 4.
    for (int pixel = 0; pixel < kPixelsPerStep; ++pixel) {
      const int position = (pixel % 2) * 4 + pixel / 2;
      bgr[3 * pixel] = blueGreen[position];
      bgr[3 * pixel + 1] = blueGreen[8 + position];
      bgr[3 * pixel + 2] = red[position];
    }

    yuy2 += kPixelsPerStep * 2;
    bgr += kPixelsPerStep * 3;
  }
  if (x < width) convertRowReference(yuy2, bgr, width - x);
}

}  // namespace yuy2

#endif  // DV_YUY2_X86_ROWS
