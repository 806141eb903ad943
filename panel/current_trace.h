#pragma once

#include <cstddef>
#include <deque>
#include <vector>

// The readings the panel has taken, for the current graph: each poll's raw values and the
// ten-sample averages of both rails, in periods of output on, so that a graph can leave a gap
// where the output was off. It keeps the last hour and drops what is older, so memory stays
// bounded however long the panel runs.
class CurrentTrace {
public:
    static constexpr double kKeptSeconds = 3600.0;

    enum class Line { Positive, Negative, PositiveAverage, NegativeAverage };

    struct Sample {
        double seconds = 0.0;
        int positive = 0;
        int negative = 0;
        int positiveAverage = 0;
        int negativeAverage = 0;
    };

    struct Point {
        double seconds = 0.0;
        int value = 0;
    };

    // The next sample starts a new period: the output was switched on again.
    void BeginPeriod();
    // A reading taken `seconds` after the panel started; times only go forward.
    void Add(const Sample& sample);

    std::size_t PeriodCount() const { return m_periods.size(); }
    std::size_t SampleCount() const;
    // The time of the newest sample; 0 before the first.
    double LatestSeconds() const;

    // One line of one period between two times, thinned to at most two points a column when
    // the span is split into `columns`: the lowest and the highest value of each column, in the
    // order they came, so that no peak is lost however many samples fall on one column.
    std::vector<Point> LinePoints(std::size_t period, Line line, double from, double to,
                                  std::size_t columns) const;

private:
    void DropOlderThan(double seconds);

    std::deque<std::deque<Sample>> m_periods;
    bool m_newPeriod = true;
};
