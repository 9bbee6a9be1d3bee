// The service clock: what the event loop reads and waits on. The steady clock follows real
// time; the virtual clock stands still until the loop waits, and then jumps to the time it
// waits for, so tests of the loop never sleep.
#pragma once

#include <chrono>
#include <memory>

namespace CamSdk {
namespace detail {

using Nanoseconds = std::chrono::nanoseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  // Time since the clock was made.
  virtual Nanoseconds now() const = 0;
  // Returns once now() >= `time` (at once if it already is).
  virtual void waitUntil(Nanoseconds time) = 0;
  virtual bool isVirtual() const noexcept = 0;
};

std::unique_ptr<Clock> makeSteadyClock();
std::unique_ptr<Clock> makeVirtualClock();

}  // namespace detail
}  // namespace CamSdk
