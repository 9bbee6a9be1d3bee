// Shared buffers whose last Pointer has gone, waiting for the connection's thread to give them
// back. A Pointer may be let go on any thread; only the connection's thread sends. Buffers wait
// until kBatch of them do, or kWaitAtMost has passed, so that a fast stream costs one give-back
// message per batch rather than one per buffer. Buffers of a session that has ended are not
// given back: the service took them back when the session ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "protocol/Messages.h"

namespace CamSdk {
namespace transport {

class GiveBackQueue {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t kBatch = 8;
  static constexpr std::chrono::milliseconds kWaitAtMost{1};

  // The last Pointer to `buffer`, sent in session `session`, has gone (any thread).
  void released(const protocol::BufferId& buffer, std::uint64_t session);
  // A new session starts; returns its number.
  std::uint64_t newSession();
  std::uint64_t session() const;
  // When the next give-back is due; Clock::time_point::max() when nothing waits.
  Clock::time_point due() const;
  // The buffers to give back at `now` (at most protocol::kMaxCount), none before they are due.
  std::vector<protocol::BufferId> take(Clock::time_point now);
  // Buffers that could not be sent go back to the front of the queue.
  void restore(const std::vector<protocol::BufferId>& buffers);

 private:
  mutable std::mutex mutex_;
  std::vector<protocol::BufferId> waiting_;
  Clock::time_point oldest_{};
  std::uint64_t session_ = 0;
};

}  // namespace transport
}  // namespace CamSdk
