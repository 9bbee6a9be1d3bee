// What the CPU running the program can execute, asked once and remembered.
#pragma once

namespace cpu {

struct Features {
  bool sse2 = false;
  bool avx2 = false;
  // AVX-512 with the byte/word, vector-length and byte-permute extensions together.
  bool avx512Bytes = false;
  // Advanced SIMD of 64-bit ARM.
  bool neon = false;
};

const Features& features();

}  // namespace cpu
