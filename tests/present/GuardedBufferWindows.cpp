#include <windows.h>

#include <stdexcept>

#include "GuardedBuffer.h"

GuardedBuffer::GuardedBuffer(std::size_t bytes) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  const std::size_t page = system.dwPageSize;
  mapped_ = (bytes + page - 1) / page * page + page;
  void* base = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (base == nullptr) throw std::runtime_error("VirtualAlloc failed");
  base_ = static_cast<std::uint8_t*>(base);
  DWORD previous = 0;
  if (!VirtualProtect(base_ + mapped_ - page, page, PAGE_NOACCESS, &previous)) {
    throw std::runtime_error("VirtualProtect failed");
  }
  data_ = base_ + mapped_ - page - bytes;
}

GuardedBuffer::~GuardedBuffer() { VirtualFree(base_, 0, MEM_RELEASE); }
