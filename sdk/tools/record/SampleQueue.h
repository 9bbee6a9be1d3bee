// Samples on their way from the SDK's event loop to the writer thread. The queue holds a bounded
// number of bytes: a sample that does not fit is dropped and counted at once, so a slow disk
// never holds up the event loop, and through it the service.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace CamSdk {
namespace record_program {

struct QueuedSample {
  std::size_t track = 0;
  std::int64_t timeOfCapture = 0;
  std::shared_ptr<const void> owner;  // keeps the SDK's buffer alive; nothing is copied
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

class SampleQueue {
 public:
  explicit SampleQueue(std::size_t capacityBytes) : capacity_(capacityBytes) {}

  // False when the sample did not fit (or the queue is closed) and was dropped.
  bool push(QueuedSample sample) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (closed_ || (!queue_.empty() && held_ + sample.size > capacity_)) return false;
    held_ += sample.size;
    queue_.push_back(std::move(sample));
    ready_.notify_one();
    return true;
  }

  // Waits for the next sample; false once the queue is closed and empty.
  template <class Duration>
  bool pop(QueuedSample* sample, Duration wait, bool* timedOut) {
    std::unique_lock<std::mutex> lock(mutex_);
    *timedOut = !ready_.wait_for(lock, wait, [this] { return closed_ || !queue_.empty(); });
    if (queue_.empty()) return false;
    *sample = std::move(queue_.front());
    queue_.pop_front();
    held_ -= sample->size;
    return true;
  }

  // No more samples; the writer still takes what is queued.
  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    ready_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<QueuedSample> queue_;
  std::size_t held_ = 0;
  std::size_t capacity_;
  bool closed_ = false;
};

}  // namespace record_program
}  // namespace CamSdk
