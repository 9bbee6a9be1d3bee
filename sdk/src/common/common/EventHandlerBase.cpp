#include <atomic>

#include "common/EventAccess.h"

namespace CamSdk {

namespace {
// Constant-initialised with a trivial destructor, so handlers destroyed after main returns
// (with the program's global handles) still find it intact.
std::atomic<long> handlersAlive{0};
}  // namespace

EventHandlerBase::EventHandlerBase() { handlersAlive.fetch_add(1, std::memory_order_relaxed); }

EventHandlerBase::~EventHandlerBase() { handlersAlive.fetch_sub(1, std::memory_order_relaxed); }

long detail::EventAccess::liveHandlers() noexcept {
  return handlersAlive.load(std::memory_order_relaxed);
}

}  // namespace CamSdk
