#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "GuardedBuffer.h"

GuardedBuffer::GuardedBuffer(std::size_t bytes) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  mapped_ = (bytes + page - 1) / page * page + page;
  void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::runtime_error("mmap failed");
  base_ = static_cast<std::uint8_t*>(base);
  if (mprotect(base_ + mapped_ - page, page, PROT_NONE) != 0) {
    throw std::runtime_error("mprotect failed");
  }
  data_ = base_ + mapped_ - page - bytes;
}

GuardedBuffer::~GuardedBuffer() { munmap(base_, mapped_); }
