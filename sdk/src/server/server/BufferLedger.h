// The shared buffers one client holds: what it was sent and has not given back. A client holds
// at most kMaxHeld; past that it misses samples, as when its queue is full. A give-back for a
// buffer it does not hold (never sent, given back already, or an older use of the slot) is
// ignored and counted: a client can free nothing it was not given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/Messages.h"

namespace CamSdk {
namespace server {

class BufferLedger {
 public:
  static constexpr std::size_t kMaxHeld = 32;

  bool room(std::size_t buffers) const { return held_.size() + buffers <= kMaxHeld; }
  void take(const protocol::SharedPlace& place) { held_.push_back({place.slot, place.generation}); }
  // True when the client held the buffer, which is then no longer its own.
  bool giveBack(const protocol::BufferId& buffer);
  // Every buffer still held, which the client holds no more.
  std::vector<std::uint32_t> takeAll();
  std::size_t held() const { return held_.size(); }
  long ignored() const { return ignored_; }

 private:
  std::vector<protocol::BufferId> held_;
  long ignored_ = 0;
};

}  // namespace server
}  // namespace CamSdk
