#include "present/CpuFeatures.h"

namespace cpu {
namespace {

Features detect() {
  Features found;
#if (defined(__GNUC__) || defined(__clang__)) && (defined(__x86_64__) || defined(__i386__))
  // The compiler's own check also asks whether the operating system saves the wide registers.
  __builtin_cpu_init();
  found.sse2 = __builtin_cpu_supports("sse2");
  found.avx2 = __builtin_cpu_supports("avx2");
  found.avx512Bytes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                      __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi");
#endif
#if defined(__aarch64__) || defined(_M_ARM64)
  // Every 64-bit ARM processor has it: the architecture requires it.
  found.neon = true;
#endif
  return found;
}

}  // namespace

const Features& features() {
  static const Features detected = detect();
  return detected;
}

}  // namespace cpu
