// Figures of one paced stream's arrivals against its ideal timetable start + k / rate: the rate
// actually delivered, how far samples lag behind their ideal time, and whether that lag grows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pacing {

struct Arrival {
  std::int64_t sampleIndex;       // k, counted from the start of the stream
  std::int32_t skipped;           // samples the service passed over to reach this one
  double millisecondsSinceStart;  // when the sample arrived
};

struct Figures {
  std::size_t samples = 0;
  double spanSeconds = 0;  // from the first arrival to the last
  double perSecond = 0;    // (samples - 1) / span: the rate free of the start-up's own delay
  // Arrival minus ideal time, in milliseconds.
  double worstLag = 0;
  std::int64_t worstLagSample = 0;  // the index k of the sample that lagged most
  double earliestLag = 0;
  double medianLag = 0;
  double endLag = 0;
  // Medians over the first and the last second of arrivals: a single late wake-up moves the
  // end lag, drift moves these apart.
  double firstSecondMedianLag = 0;
  double lastSecondMedianLag = 0;
  std::int64_t skipped = 0;
};

// False, leaving `figures` alone, when fewer than two samples arrived or they all arrived at
// one instant (no rate can be had).
bool analyse(const std::vector<Arrival>& arrivals, int perSecond, Figures* figures);

// Whether `measured` is within `relativeTolerance` (0.005 for 0.5 %) of `target`.
bool rateWithin(double measured, double target, double relativeTolerance);

}  // namespace pacing
