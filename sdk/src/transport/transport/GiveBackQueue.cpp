#include "transport/GiveBackQueue.h"

#include <algorithm>

namespace CamSdk {
namespace transport {

void GiveBackQueue::released(const protocol::BufferId& buffer, std::uint64_t session) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (session != session_) return;
  if (waiting_.empty()) oldest_ = Clock::now();
  waiting_.push_back(buffer);
}

std::uint64_t GiveBackQueue::newSession() {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.clear();
  return ++session_;
}

std::uint64_t GiveBackQueue::session() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_;
}

GiveBackQueue::Clock::time_point GiveBackQueue::due() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_.empty()) return Clock::time_point::max();
  return waiting_.size() >= kBatch ? oldest_ : oldest_ + kWaitAtMost;
}

std::vector<protocol::BufferId> GiveBackQueue::take(Clock::time_point now) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<protocol::BufferId> taken;
  if (waiting_.empty() || (waiting_.size() < kBatch && now < oldest_ + kWaitAtMost)) {
    return taken;
  }
  const std::size_t count = std::min(waiting_.size(), protocol::kMaxCount);
  taken.assign(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
  waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(count));
  oldest_ = now;
  return taken;
}

void GiveBackQueue::restore(const std::vector<protocol::BufferId>& buffers) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (waiting_.empty()) oldest_ = Clock::now();
  waiting_.insert(waiting_.begin(), buffers.begin(), buffers.end());
}

}  // namespace transport
}  // namespace CamSdk
