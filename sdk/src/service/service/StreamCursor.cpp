#include "service/StreamCursor.h"

#include <algorithm>
#include <limits>

namespace CamSdk {
namespace detail {

void StreamCursor::arm(Nanoseconds now, std::int32_t perSecond) {
  armed_ = true;
  timeline_ = nullptr;
  anchor_ = now;
  anchorIndex_ = next_;
  perSecond_ = perSecond > 0 ? perSecond : 1;
}

void StreamCursor::follow(SampleTimeline& timeline, Nanoseconds now) {
  armed_ = true;
  timeline_ = &timeline;
  next_ = timeline.firstAtOrAfter(now);
  lastTaken_ = Nanoseconds::min();
}

void StreamCursor::retime(std::int32_t perSecond) {
  if (timeline_ != nullptr || perSecond <= 0 || perSecond == perSecond_) return;
  anchor_ = nextDue();
  anchorIndex_ = next_;
  perSecond_ = perSecond;
}

Nanoseconds StreamCursor::due(std::int64_t index) const {
  if (timeline_ != nullptr) return timeline_->due(index);
  return anchor_ + Nanoseconds((index - anchorIndex_) * kSecond / perSecond_);
}

std::int64_t StreamCursor::firstHeld() const {
  std::int64_t index = next_;
  if (timeline_ != nullptr) {
    while (timeline_->due(index) == Nanoseconds::min()) ++index;
  }
  return index;
}

Nanoseconds StreamCursor::nextDue() const {
  // Samples the timeline no longer holds are passed over, so what is due is the first one it
  // still holds: one not read yet must not count as due and leave without its maps.
  const Nanoseconds next = due(firstHeld());
  if (timeline_ == nullptr || lastTaken_ <= lastDue_ || next == Nanoseconds::min() ||
      next == Nanoseconds::max()) {
    return next;
  }
  return std::max(next, lastTaken_ + (next - lastDue_) / 2);
}

std::int64_t StreamCursor::take(Nanoseconds now, std::int32_t* skipped) {
  // A recorded sample is sent late rather than never: each is taken in turn, and only those
  // the timeline no longer holds (the stream fell seconds behind) are passed over.
  std::int64_t newest = firstHeld();
  const std::int64_t behind = (now - anchor_).count();
  if (timeline_ == nullptr && behind >= 0) {
    // The largest k with floor((k - anchorIndex) * 1 s / rate) <= behind.
    newest = anchorIndex_ + ((behind + 1) * perSecond_ - 1) / kSecond;
    if (newest < next_) newest = next_;
  }
  const std::int64_t passed = newest - next_;
  if (skipped != nullptr) {
    *skipped = passed > std::numeric_limits<std::int32_t>::max()
                   ? std::numeric_limits<std::int32_t>::max()
                   : static_cast<std::int32_t>(passed);
  }
  if (timeline_ != nullptr) {
    lastDue_ = timeline_->due(newest);
    lastTaken_ = now;
  }
  next_ = newest + 1;
  return newest;
}

}  // namespace detail
}  // namespace CamSdk
