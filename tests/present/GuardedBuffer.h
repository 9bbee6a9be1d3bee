// A buffer whose last byte is the last byte before an inaccessible page, so that a read or
// write one byte too far crashes the test.
//
// Platform code: GuardedBufferPosix.cpp (mmap, mprotect), GuardedBufferWindows.cpp
// (VirtualAlloc, VirtualProtect).
#pragma once

#include <cstddef>
#include <cstdint>

class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t bytes);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() const { return data_; }

 private:
  std::size_t mapped_ = 0;
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
};
