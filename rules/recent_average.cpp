#include "rules/recent_average.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace pelmora {

namespace {

std::size_t SlotOf(Rail rail) {
    return rail == Rail::Positive ? 0 : 1;
}

} // namespace

void RecentAverage::Restart() {
    m_count = 0;
    m_next = 0;
}

void RecentAverage::Add(const protocol::CurrentReading& reading) {
    m_milliamps[SlotOf(Rail::Positive)][m_next] = reading.positiveMa;
    m_milliamps[SlotOf(Rail::Negative)][m_next] = reading.negativeMa;
    m_next = (m_next + 1) % kSamples;
    m_count = std::min(m_count + 1, kSamples);
}

std::optional<double> RecentAverage::Milliamps(Rail rail) const {
    if (m_count == 0) {
        return std::nullopt;
    }
    const auto& samples = m_milliamps[SlotOf(rail)];
    // Before the ring is full the readings are its first m_count slots.
    const auto first = samples.begin();
    const long long sum = std::accumulate(first, first + static_cast<std::ptrdiff_t>(m_count), 0LL);
    return static_cast<double>(sum) / static_cast<double>(m_count);
}

std::optional<protocol::CurrentReading> RecentAverage::Rounded() const {
    const auto positive = Milliamps(Rail::Positive);
    const auto negative = Milliamps(Rail::Negative);
    if (!positive || !negative) {
        return std::nullopt;
    }
    return protocol::CurrentReading{static_cast<int>(std::lround(*positive)),
                                    static_cast<int>(std::lround(*negative))};
}

} // namespace pelmora
