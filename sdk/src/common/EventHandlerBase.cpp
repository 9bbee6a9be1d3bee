#include <atomic>

#include "camsdk/Events.h"

namespace CamSdk {

namespace {
// Constant-initialised with a trivial destructor, so handlers destroyed after main returns
// (with the program's global handles) still find it intact.
std::atomic<long> liveHandlers{0};
}  // namespace

EventHandlerBase::EventHandlerBase() { liveHandlers.fetch_add(1, std::memory_order_relaxed); }

EventHandlerBase::~EventHandlerBase() { liveHandlers.fetch_sub(1, std::memory_order_relaxed); }

long EventHandlerBase::liveCount() noexcept { return liveHandlers.load(std::memory_order_relaxed); }

}  // namespace CamSdk
