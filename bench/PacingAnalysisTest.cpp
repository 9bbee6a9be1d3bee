// The pacing run's verdicts come from these figures alone, so a fault here would report a
// drifting or slow stream as healthy. The cases are the shapes real runs take: an even stream
// with a fixed delivery delay, a clock that runs slow, one late wake-up, skipped samples, and
// runs too short to give a rate.
#include <gtest/gtest.h>

#include <vector>

#include "PacingAnalysis.h"

namespace {

constexpr int kRate = 25;
constexpr double kPeriodMs = 40.0;

// Sample k arrives at k * period * stretch + delay milliseconds.
std::vector<pacing::Arrival> stream(int count, double delayMs, double stretch = 1.0) {
  std::vector<pacing::Arrival> arrivals;
  for (int k = 0; k < count; ++k) {
    arrivals.push_back({k, 0, k * kPeriodMs * stretch + delayMs});
  }
  return arrivals;
}

TEST(PacingAnalysis, EvenStreamWithFixedDelayHasExactRateAndFlatLag) {
  pacing::Figures figures;
  ASSERT_TRUE(pacing::analyse(stream(1500, 0.5), kRate, &figures));
  EXPECT_EQ(figures.samples, 1500u);
  EXPECT_NEAR(figures.spanSeconds, 59.96, 1e-9);
  EXPECT_NEAR(figures.perSecond, 25.0, 1e-9);
  for (double lag : {figures.worstLag, figures.earliestLag, figures.medianLag, figures.endLag,
                     figures.firstSecondMedianLag, figures.lastSecondMedianLag}) {
    EXPECT_NEAR(lag, 0.5, 1e-9);
  }
  EXPECT_EQ(figures.skipped, 0);
}

TEST(PacingAnalysis, SlowClockShowsAsLowerRateAndGrowingLag) {
  pacing::Figures slightly;
  ASSERT_TRUE(pacing::analyse(stream(1500, 0.0, 1.001), kRate, &slightly));
  EXPECT_NEAR(slightly.perSecond, 25.0 / 1.001, 1e-9);
  EXPECT_NEAR(slightly.endLag, 1499 * 0.04, 1e-6);  // 0.1 % of 59.96 s
  EXPECT_GT(slightly.lastSecondMedianLag, slightly.firstSecondMedianLag + 50.0);
  EXPECT_TRUE(pacing::rateWithin(slightly.perSecond, kRate, 0.005));

  pacing::Figures clearly;
  ASSERT_TRUE(pacing::analyse(stream(1500, 0.0, 1.01), kRate, &clearly));
  EXPECT_FALSE(pacing::rateWithin(clearly.perSecond, kRate, 0.005));
}

TEST(PacingAnalysis, OneLateWakeUpIsTheWorstLagButLeavesTheEndAndMediansAlone) {
  std::vector<pacing::Arrival> arrivals = stream(250, 0.2);
  arrivals[100].millisecondsSinceStart += 7.0;
  pacing::Figures figures;
  ASSERT_TRUE(pacing::analyse(arrivals, kRate, &figures));
  EXPECT_NEAR(figures.worstLag, 7.2, 1e-9);
  EXPECT_EQ(figures.worstLagSample, 100);
  EXPECT_NEAR(figures.endLag, 0.2, 1e-9);
  EXPECT_NEAR(figures.medianLag, 0.2, 1e-9);
  EXPECT_NEAR(figures.perSecond, 25.0, 1e-9);
}

TEST(PacingAnalysis, SkippedSamplesLowerTheDeliveredRateAndAreCounted) {
  // Samples 10 to 14 never arrive; 15 says five were passed over and arrives on time.
  std::vector<pacing::Arrival> arrivals;
  for (int k = 0; k < 50; ++k) {
    if (k >= 10 && k < 15) continue;
    arrivals.push_back({k, k == 15 ? 5 : 0, k * kPeriodMs});
  }
  pacing::Figures figures;
  ASSERT_TRUE(pacing::analyse(arrivals, kRate, &figures));
  EXPECT_EQ(figures.skipped, 5);
  EXPECT_EQ(figures.samples, 45u);
  EXPECT_NEAR(figures.perSecond, 44 / 1.96, 1e-9);
  EXPECT_NEAR(figures.worstLag, 0.0, 1e-9);  // judged by index, the arrivals are on time
}

TEST(PacingAnalysis, NoRateFromTooFewOrSimultaneousArrivals) {
  pacing::Figures figures;
  figures.samples = 77;
  EXPECT_FALSE(pacing::analyse({}, kRate, &figures));
  EXPECT_FALSE(pacing::analyse(stream(1, 0.0), kRate, &figures));
  EXPECT_FALSE(pacing::analyse({{0, 0, 3.0}, {1, 0, 3.0}}, kRate, &figures));
  EXPECT_FALSE(pacing::analyse(stream(10, 0.0), 0, &figures));
  EXPECT_EQ(figures.samples, 77u);  // left alone
}

TEST(PacingAnalysis, RateToleranceIsRelativeAndInclusive) {
  EXPECT_TRUE(pacing::rateWithin(25.125, 25, 0.005));
  EXPECT_TRUE(pacing::rateWithin(24.875, 25, 0.005));
  EXPECT_FALSE(pacing::rateWithin(25.13, 25, 0.005));
  EXPECT_FALSE(pacing::rateWithin(24.87, 25, 0.005));
}

}  // namespace
