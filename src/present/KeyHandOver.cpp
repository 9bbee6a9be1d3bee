#include "present/KeyHandOver.h"

#include <atomic>

namespace keyHandOver {
namespace {

// Only the event loop's thread runs the frame handlers, one at a time.
int keptKey = -1;
Clock::time_point keptAt;

std::atomic<TimeSource> timeSource{nullptr};

Clock::time_point now() {
  const TimeSource source = timeSource.load();
  return source ? source() : Clock::now();
}

}  // namespace

void keepKeyFromDepthPoll(int key) {
  keptKey = key;
  keptAt = now();
}

int takeKeyFromDepthPoll() {
  const int key = keptKey;
  keptKey = -1;
  if (key == -1 || now() - keptAt > kKeptKeyLifetime) return -1;
  return key;
}

void setTimeSource(TimeSource source) { timeSource = source; }

}  // namespace keyHandOver
