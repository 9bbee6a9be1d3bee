// A read-only buffer inside a sample record. Copies share the buffer; the buffer lives as
// long as any copy does, so a handler may keep a sample past its own return.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

namespace CamSdk {

template <class T>
class Pointer {
 public:
  Pointer() = default;
  // `data` points at `count` elements kept alive by `owner` (aliasing is allowed).
  Pointer(std::shared_ptr<const void> owner, const T* data, std::size_t count)
      : owner_(std::move(owner)), data_(data), count_(data ? count : 0) {}

  // Null when the buffer is absent.
  operator const T*() const noexcept { return data_; }
  const T* data() const noexcept { return data_; }
  // Number of elements of type T the buffer holds; 0 when absent.
  std::size_t size() const noexcept { return count_; }
  std::size_t byteSize() const noexcept { return count_ * sizeof(T); }
  // What keeps the buffer alive.
  const std::shared_ptr<const void>& owner() const noexcept { return owner_; }

 private:
  std::shared_ptr<const void> owner_;
  const T* data_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace CamSdk
