// The times of a node whose samples come when they come (a recording) rather than at a rate.
// The service's scheduler asks it instead of counting 1 s / rate per sample.
#pragma once

#include <cstdint>

#include "service/Clock.h"

namespace CamSdk {
namespace detail {

class SampleTimeline {
 public:
  virtual ~SampleTimeline() = default;
  // Where a stream that starts at `time` begins: as a rule, the first sample due at or after it.
  virtual std::int64_t firstAtOrAfter(Nanoseconds time) = 0;
  // When sample `index` is due on the service clock. For a sample not known yet, a time after
  // now when to ask again; Nanoseconds::max() when there will be no such sample;
  // Nanoseconds::min() for one no longer held.
  virtual Nanoseconds due(std::int64_t index) = 0;
};

}  // namespace detail
}  // namespace CamSdk
