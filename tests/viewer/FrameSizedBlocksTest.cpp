// After the start-up heap setting, a colour frame's buffer comes from the heap, not from a
// mapping of its own that would be unmapped (and its pages faulted in again) every frame.
#include <gtest/gtest.h>

#include <cstdlib>

#include "present/Yuy2ToBgr.h"
#include "viewer/FrameSizedBlocks.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define DV_OWN_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DV_OWN_ALLOCATOR 1
#endif
#endif

namespace {

TEST(FrameSizedBlocks, AFrameBufferIsNotMappedOnItsOwn) {
#if !defined(__GLIBC__) || defined(DV_OWN_ALLOCATOR)
  GTEST_SKIP() << "glibc's own allocator is not in use";
#else
  keepFrameSizedBlocksInHeap();
  const std::size_t mappedBefore = mallinfo2().hblks;
  void* buffer = std::malloc(kBgrFrameBytes);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(mallinfo2().hblks, mappedBefore);
  std::free(buffer);
#endif
}

}  // namespace
