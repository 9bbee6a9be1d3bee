#include "SampleHeap.h"

#include <cstdlib>  // defines __GLIBC__ on glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// Above a full-HD colour map (1920 x 1080 x 2 bytes) and VGA vertices (1.8 MB).
constexpr int kMapThresholdBytes = 8 * 1024 * 1024;
// Freed memory kept at the top of the heap before it goes back to the system: a few samples'
// worth, as several wait in each client's queue.
constexpr int kTrimThresholdBytes = 32 * 1024 * 1024;

}  // namespace

void keepSampleBlocksInHeap() {
#if defined(__GLIBC__)
  mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes);
  mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes);
#endif
}
