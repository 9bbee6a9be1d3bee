#include "server/DropSummary.h"

#include <chrono>

namespace CamSdk {
namespace server {

void DropSummary::dropped(detail::Nanoseconds now, const std::string& line) {
  flush(now);
  if (lines_ < kLinesPerSecond) {
    ++lines_;
    if (log_) log_(1, line);
    return;
  }
  ++counted_;
  lastCounted_ = line;
}

void DropSummary::flush(detail::Nanoseconds now) {
  if (now - secondStarted_ < std::chrono::seconds(1)) return;
  if (counted_ > 0 && log_) {
    log_(1, std::to_string(counted_) + " more lines like these in one second, the last: " +
                lastCounted_);
  }
  secondStarted_ = now;
  lines_ = 0;
  counted_ = 0;
}

}  // namespace server
}  // namespace CamSdk
