// The service's shared region cut into equal slots, each holding one map of one sample. A map
// is copied into a free slot once, however many clients read it; the slot is reused only when
// every client it was sent to has given it back (or been dropped). Each use of a slot has a
// new generation, written in the slot's first bytes before the map, so that a client can tell
// a buffer that was reused under it (it was dropped meanwhile) from the one it was sent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "protocol/Messages.h"
#include "server/SharedRegion.h"

namespace CamSdk {
namespace server {

class SharedSlots {
 public:
  static constexpr std::uint32_t kSlots = 64;
  // The slot's generation (a u32), then padding up to the map.
  static constexpr std::size_t kHeader = protocol::kGenerationBefore;
  // The largest map a slot holds: a full-HD colour map. Larger maps travel in the message.
  static constexpr std::size_t kMapBytes = 4u << 20;
  static constexpr std::size_t kSlotBytes = kHeader + kMapBytes;
  // Smaller maps travel in the message: placing them would cost more than copying them.
  static constexpr std::size_t kShareFrom = 16u << 10;
  static constexpr std::size_t kRegionBytes = kSlots * kSlotBytes;

  // Slots in a new region; nullptr, with `why`, when none can be made.
  static std::unique_ptr<SharedSlots> create(std::uint32_t id, std::string* why);
  explicit SharedSlots(std::unique_ptr<SharedRegion> region, std::uint32_t id);

  protocol::RegionOffer offer() const;
  std::uint32_t id() const { return id_; }
  // Copies a map into a free slot, which the caller holds once; nothing when the map is too
  // large or no slot is free (the map then travels in the message).
  std::optional<protocol::SharedPlace> place(const std::uint8_t* data, std::size_t size);
  // One more reader of the slot, or one fewer; a slot nobody holds is free.
  void hold(std::uint32_t slot) { ++slots_.at(slot).readers; }
  void release(std::uint32_t slot);
  std::uint32_t slotsInUse() const;

 private:
  struct Slot {
    std::uint32_t generation = 0;
    std::uint32_t readers = 0;
    std::size_t reserved = 0;  // bytes of the slot backed with memory so far
  };

  std::unique_ptr<SharedRegion> region_;
  std::uint32_t id_;
  std::vector<Slot> slots_;
};

}  // namespace server
}  // namespace CamSdk
