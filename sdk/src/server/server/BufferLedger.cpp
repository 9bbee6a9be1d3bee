#include "server/BufferLedger.h"

#include <algorithm>

namespace CamSdk {
namespace server {

bool BufferLedger::giveBack(const protocol::BufferId& buffer) {
  auto found = std::find_if(held_.begin(), held_.end(), [&](const protocol::BufferId& held) {
    return held.slot == buffer.slot && held.generation == buffer.generation;
  });
  if (found == held_.end()) {
    ++ignored_;
    return false;
  }
  *found = held_.back();
  held_.pop_back();
  return true;
}

std::vector<std::uint32_t> BufferLedger::takeAll() {
  std::vector<std::uint32_t> slots;
  for (const protocol::BufferId& held : held_) slots.push_back(held.slot);
  held_.clear();
  return slots;
}

}  // namespace server
}  // namespace CamSdk
