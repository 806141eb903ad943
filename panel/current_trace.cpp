#include "panel/current_trace.h"

#include <algorithm>

namespace {

int ValueOf(const CurrentTrace::Sample& sample, CurrentTrace::Line line) {
    switch (line) {
    case CurrentTrace::Line::Positive:
        return sample.positive;
    case CurrentTrace::Line::Negative:
        return sample.negative;
    case CurrentTrace::Line::PositiveAverage:
        return sample.positiveAverage;
    case CurrentTrace::Line::NegativeAverage:
        return sample.negativeAverage;
    }
    return 0;
}

} // namespace

void CurrentTrace::BeginPeriod() {
    m_newPeriod = true;
}

void CurrentTrace::Add(const Sample& sample) {
    if (m_newPeriod || m_periods.empty()) {
        m_periods.emplace_back();
        m_newPeriod = false;
    }
    m_periods.back().push_back(sample);
    DropOlderThan(sample.seconds - kKeptSeconds);
}

void CurrentTrace::DropOlderThan(double seconds) {
    while (!m_periods.empty()) {
        auto& oldest = m_periods.front();
        while (!oldest.empty() && oldest.front().seconds < seconds) {
            oldest.pop_front();
        }
        if (!oldest.empty()) {
            return;
        }
        m_periods.pop_front();
    }
    m_newPeriod = true;
}

std::size_t CurrentTrace::SampleCount() const {
    std::size_t count = 0;
    for (const auto& period : m_periods) {
        count += period.size();
    }
    return count;
}

double CurrentTrace::LatestSeconds() const {
    return m_periods.empty() || m_periods.back().empty() ? 0.0 : m_periods.back().back().seconds;
}

std::vector<CurrentTrace::Point> CurrentTrace::LinePoints(std::size_t period, Line line,
                                                          double from, double to,
                                                          std::size_t columns) const {
    std::vector<Point> points;
    if (period >= m_periods.size() || columns == 0 || to <= from) {
        return points;
    }
    const auto& samples = m_periods[period];
    const auto first =
        std::lower_bound(samples.begin(), samples.end(), from,
                         [](const Sample& sample, double time) { return sample.seconds < time; });
    const double columnWidth = (to - from) / static_cast<double>(columns);
    auto it = first;
    while (it != samples.end() && it->seconds <= to) {
        const auto column = static_cast<std::size_t>((it->seconds - from) / columnWidth);
        auto lowest = it;
        auto highest = it;
        auto next = it;
        while (next != samples.end() && next->seconds <= to &&
               static_cast<std::size_t>((next->seconds - from) / columnWidth) == column) {
            if (ValueOf(*next, line) < ValueOf(*lowest, line)) {
                lowest = next;
            }
            if (ValueOf(*next, line) > ValueOf(*highest, line)) {
                highest = next;
            }
            ++next;
        }
        const auto [early, late] =
            std::minmax(lowest, highest, [](auto a, auto b) { return a->seconds < b->seconds; });
        points.push_back({early->seconds, ValueOf(*early, line)});
        if (late != early) {
            points.push_back({late->seconds, ValueOf(*late, line)});
        }
        it = next;
    }
    return points;
}
