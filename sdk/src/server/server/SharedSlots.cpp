#include "server/SharedSlots.h"

#include <atomic>
#include <cstring>

namespace CamSdk {
namespace server {

std::unique_ptr<SharedSlots> SharedSlots::create(std::uint32_t id, std::string* why) {
  std::unique_ptr<SharedRegion> region = SharedRegion::create(kRegionBytes, why);
  if (!region) return nullptr;
  return std::make_unique<SharedSlots>(std::move(region), id);
}

SharedSlots::SharedSlots(std::unique_ptr<SharedRegion> region, std::uint32_t id)
    : region_(std::move(region)), id_(id), slots_(region_->size() / kSlotBytes) {}

protocol::RegionOffer SharedSlots::offer() const {
  return protocol::RegionOffer{id_, region_->name(), region_->size()};
}

std::optional<protocol::SharedPlace> SharedSlots::place(const std::uint8_t* data,
                                                        std::size_t size) {
  if (size > kMapBytes) return std::nullopt;
  // The lowest free slot, so that a steady stream keeps to the few slots it has touched.
  for (std::uint32_t index = 0; index < slots_.size(); ++index) {
    Slot& slot = slots_[index];
    if (slot.readers != 0) continue;
    const std::size_t start = std::size_t{index} * kSlotBytes;
    if (slot.reserved < kHeader + size) {
      if (!region_->reserve(start, kHeader + size)) return std::nullopt;
      slot.reserved = kHeader + size;
    }
    if (++slot.generation == 0) slot.generation = 1;
    // The new generation is visible before the map changes: a client checking a stale buffer
    // sees that it was reused.
    auto* generation = reinterpret_cast<std::uint32_t*>(region_->data() + start);
    __atomic_store_n(generation, slot.generation, __ATOMIC_SEQ_CST);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    std::memcpy(region_->data() + start + kHeader, data, size);
    slot.readers = 1;
    return protocol::SharedPlace{id_, index, slot.generation, start + kHeader};
  }
  return std::nullopt;
}

void SharedSlots::release(std::uint32_t slot) {
  Slot& held = slots_.at(slot);
  if (held.readers > 0) --held.readers;
}

std::uint32_t SharedSlots::slotsInUse() const {
  std::uint32_t used = 0;
  for (const Slot& slot : slots_) used += slot.readers != 0 ? 1 : 0;
  return used;
}

}  // namespace server
}  // namespace CamSdk
