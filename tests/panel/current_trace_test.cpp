#include "panel/current_trace.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

using Line = CurrentTrace::Line;

CurrentTrace::Sample At(double seconds, int positive, int negative = 0) {
    return {seconds, positive, negative, positive / 2, negative / 2};
}

} // namespace

TEST(CurrentTrace, KeepsPeriodsOfOutputOnApart) {
    CurrentTrace trace;
    trace.Add(At(0.3, 10));
    trace.Add(At(0.6, 11));
    trace.BeginPeriod();
    trace.BeginPeriod(); // switched on twice without a reading between: still one new period
    trace.Add(At(5.0, 12, -7));
    ASSERT_EQ(trace.PeriodCount(), 2u);
    EXPECT_EQ(trace.SampleCount(), 3u);
    EXPECT_DOUBLE_EQ(trace.LatestSeconds(), 5.0);

    const auto first = trace.LinePoints(0, Line::Positive, 0.0, 10.0, 1000);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[1].value, 11);
    const auto second = trace.LinePoints(1, Line::NegativeAverage, 0.0, 10.0, 1000);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].value, -3);
    EXPECT_TRUE(trace.LinePoints(2, Line::Positive, 0.0, 10.0, 1000).empty());
}

TEST(CurrentTrace, KeepsTheLastHourOnly) {
    CurrentTrace trace;
    // Two hours of polls every 300 ms, the output switched off and on again after half an hour.
    for (int tick = 0; tick < 24'000; ++tick) {
        if (tick == 0 || tick == 6'000) {
            trace.BeginPeriod();
        }
        trace.Add(At(tick * 0.3, tick % 100));
    }
    EXPECT_LE(trace.SampleCount(), 12'001u);
    EXPECT_GE(trace.SampleCount(), 11'999u);
    EXPECT_EQ(trace.PeriodCount(), 1u) << "the first hour's period has gone with its samples";
    EXPECT_TRUE(trace.LinePoints(0, Line::Positive, 0.0, 3000.0, 100).empty());
}

TEST(CurrentTrace, ThinsToTheColumnsWithoutLosingPeaks) {
    CurrentTrace trace;
    for (int i = 0; i < 1000; ++i) {
        const int value = i == 437 ? 900 : (i == 612 ? -50 : 100);
        trace.Add(At(i * 0.01, value));
    }
    const auto points = trace.LinePoints(0, Line::Positive, 0.0, 10.0, 10);
    EXPECT_LE(points.size(), 20u);
    const auto [lowest, highest] = std::minmax_element(
        points.begin(), points.end(), [](auto a, auto b) { return a.value < b.value; });
    EXPECT_EQ(highest->value, 900);
    EXPECT_EQ(lowest->value, -50);
    EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                               [](auto a, auto b) { return a.seconds < b.seconds; }));

    // Only the span asked for.
    const auto window = trace.LinePoints(0, Line::Positive, 5.0, 6.0, 1000);
    ASSERT_FALSE(window.empty());
    EXPECT_GE(window.front().seconds, 5.0);
    EXPECT_LE(window.back().seconds, 6.0);
    EXPECT_EQ(window.size(), 101u);
}
