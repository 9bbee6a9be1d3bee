#include "viewer/FrameSizedBlocks.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Above the two 921,600-byte blocks of a colour frame, with room for the display library's own.
constexpr int kMapThresholdBytes = 4 * 1024 * 1024;
// Freed memory kept at the top of the heap before it goes back to the system.
constexpr int kTrimThresholdBytes = 16 * 1024 * 1024;

}  // namespace

void keepFrameSizedBlocksInHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
  mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
#endif
}
