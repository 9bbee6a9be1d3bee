#include "service/Clock.h"

#include <thread>

namespace CamSdk {
namespace detail {

namespace {

class SteadyClock final : public Clock {
 public:
  SteadyClock() : origin_(std::chrono::steady_clock::now()) {}

  Nanoseconds now() const override {
    return std::chrono::duration_cast<Nanoseconds>(std::chrono::steady_clock::now() - origin_);
  }
  void waitUntil(Nanoseconds time) override {
    // sleep_until may return early on some platforms; the caller re-reads now() anyway.
    std::this_thread::sleep_until(origin_ + time);
  }
  bool isVirtual() const noexcept override { return false; }

 private:
  std::chrono::steady_clock::time_point origin_;
};

class VirtualClock final : public Clock {
 public:
  Nanoseconds now() const override { return now_; }
  void waitUntil(Nanoseconds time) override {
    if (time > now_) now_ = time;
  }
  bool isVirtual() const noexcept override { return true; }

 private:
  Nanoseconds now_{0};
};

}  // namespace

std::unique_ptr<Clock> makeSteadyClock() { return std::make_unique<SteadyClock>(); }
std::unique_ptr<Clock> makeVirtualClock() { return std::make_unique<VirtualClock>(); }

}  // namespace detail
}  // namespace CamSdk
