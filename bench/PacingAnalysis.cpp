#include "PacingAnalysis.h"

#include <algorithm>
#include <cmath>

namespace pacing {

namespace {

double medianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

bool analyse(const std::vector<Arrival>& arrivals, int perSecond, Figures* figures) {
  if (arrivals.size() < 2 || perSecond <= 0) return false;
  const double span =
      (arrivals.back().millisecondsSinceStart - arrivals.front().millisecondsSinceStart) / 1000.0;
  if (span <= 0) return false;

  const double periodMs = 1000.0 / perSecond;
  std::vector<double> lags;
  lags.reserve(arrivals.size());
  Figures made;
  for (const Arrival& arrival : arrivals) {
    lags.push_back(arrival.millisecondsSinceStart -
                   static_cast<double>(arrival.sampleIndex) * periodMs);
    made.skipped += arrival.skipped;
  }
  made.samples = arrivals.size();
  made.spanSeconds = span;
  made.perSecond = static_cast<double>(arrivals.size() - 1) / span;
  const auto worst = std::max_element(lags.begin(), lags.end());
  made.worstLag = *worst;
  made.worstLagSample = arrivals[static_cast<std::size_t>(worst - lags.begin())].sampleIndex;
  made.earliestLag = *std::min_element(lags.begin(), lags.end());
  made.medianLag = medianOf(lags);
  made.endLag = lags.back();
  const auto second = static_cast<std::ptrdiff_t>(
      std::min<std::size_t>(static_cast<std::size_t>(perSecond), lags.size()));
  made.firstSecondMedianLag = medianOf(std::vector<double>(lags.begin(), lags.begin() + second));
  made.lastSecondMedianLag = medianOf(std::vector<double>(lags.end() - second, lags.end()));
  *figures = made;
  return true;
}

bool rateWithin(double measured, double target, double relativeTolerance) {
  // As a distance, so that the bounds themselves are not lost to rounding of 1 - tolerance.
  return std::fabs(measured - target) <= target * relativeTolerance;
}

}  // namespace pacing
