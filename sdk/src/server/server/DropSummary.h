// The log's lines about dropped and ignored clients, bounded: at most kLinesPerSecond of them
// a second, the rest counted and summed up in one line when that second is over, so that an
// attack of many connections costs the log a line a second rather than a line a client.
#pragma once

#include <functional>
#include <string>

#include "service/Clock.h"

namespace CamSdk {
namespace server {

class DropSummary {
 public:
  static constexpr int kLinesPerSecond = 5;
  using Log = std::function<void(int level, const std::string& line)>;

  explicit DropSummary(Log log) : log_(std::move(log)) {}
  // Logs `line` (at level 1) or counts it.
  void dropped(detail::Nanoseconds now, const std::string& line);
  // The summary of a second that is over, if it counted any.
  void flush(detail::Nanoseconds now);

 private:
  Log log_;
  detail::Nanoseconds secondStarted_{0};
  int lines_ = 0;
  long counted_ = 0;
  std::string lastCounted_;
};

}  // namespace server
}  // namespace CamSdk
