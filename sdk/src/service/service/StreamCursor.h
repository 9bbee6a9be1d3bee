// The pacing of one sample stream: sample k is due at anchor + (k - anchorIndex) * 1 s / rate,
// computed in integer nanoseconds from the anchor each time, so rounding never accumulates into
// drift. A stream that falls behind takes its newest due sample and counts the ones skipped.
// A stream that follows a timeline (a recording) takes its due times from there instead, and
// every sample in turn however late.
#pragma once

#include <cstdint>

#include "service/Clock.h"
#include "service/SampleTimeline.h"

namespace CamSdk {
namespace detail {

class StreamCursor {
 public:
  bool armed() const { return armed_; }
  // The next sample is due at `now`, then one every 1 s / perSecond.
  void arm(Nanoseconds now, std::int32_t perSecond);
  // The stream goes by `timeline` from its first sample due at or after `now`.
  void follow(SampleTimeline& timeline, Nanoseconds now);
  // The stream pauses; arming again goes on with the next index.
  void disarm() { armed_ = false; }
  std::int32_t perSecond() const { return perSecond_; }
  // From the next sample on, `perSecond` samples a second, keeping the next sample's due time.
  void retime(std::int32_t perSecond);

  Nanoseconds due(std::int64_t index) const;
  // When the next sample should leave: its due time, except on a timeline that fell behind,
  // where the samples that came due meanwhile leave at twice their recorded pace, not in one
  // burst that a client's queue could not hold.
  Nanoseconds nextDue() const;
  std::int64_t nextIndex() const { return next_; }

  // Takes the newest sample due at `now` (the next one at least; on a timeline, the next one it
  // still holds). `skipped` receives how many samples were passed over to reach it.
  std::int64_t take(Nanoseconds now, std::int32_t* skipped);

 private:
  static constexpr std::int64_t kSecond = 1'000'000'000;

  // The next index, or on a timeline the first from it that the timeline still holds.
  std::int64_t firstHeld() const;

  bool armed_ = false;
  Nanoseconds anchor_{0};
  std::int64_t anchorIndex_ = 0;
  std::int64_t next_ = 0;
  std::int32_t perSecond_ = 1;
  SampleTimeline* timeline_ = nullptr;
  Nanoseconds lastDue_{0};                      // on a timeline: the last sample taken's due time
  Nanoseconds lastTaken_ = Nanoseconds::min();  // and when it was taken
};

}  // namespace detail
}  // namespace CamSdk
