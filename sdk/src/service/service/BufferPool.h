// Sample buffers that are reused once nobody else holds them, so a steady stream does not
// allocate per frame. A buffer handed out stays valid for as long as anyone holds it, pool or
// not: the count of live buffers is shared with each buffer's deleter.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

namespace CamSdk {
namespace detail {

template <class T>
class BufferPool {
 public:
  // Buffers kept for reuse; more may be alive while handlers hold on to samples.
  static constexpr std::size_t kKept = 4;

  // A buffer of `count` elements that nobody else holds; its contents are stale.
  std::shared_ptr<std::vector<T>> acquire(std::size_t count) {
    for (const auto& buffer : kept_) {
      if (buffer.use_count() == 1) {
        buffer->resize(count);
        return buffer;
      }
    }
    std::shared_ptr<std::atomic<long>> alive = alive_;
    std::shared_ptr<std::vector<T>> buffer(new std::vector<T>(count),
                                           [alive](std::vector<T>* dead) {
                                             alive->fetch_sub(1, std::memory_order_relaxed);
                                             delete dead;
                                           });
    alive_->fetch_add(1, std::memory_order_relaxed);
    if (kept_.size() < kKept) kept_.push_back(buffer);
    return buffer;
  }

  // Buffers alive that someone other than the pool still holds.
  long referenced() const {
    long idle = 0;
    for (const auto& buffer : kept_) {
      if (buffer.use_count() == 1) ++idle;
    }
    return alive_->load(std::memory_order_relaxed) - idle;
  }

 private:
  std::shared_ptr<std::atomic<long>> alive_ = std::make_shared<std::atomic<long>>(0);
  std::vector<std::shared_ptr<std::vector<T>>> kept_;
};

}  // namespace detail
}  // namespace CamSdk
