#include "rules/current_history.h"

#include <algorithm>
#include <numeric>

void CurrentHistory::Push(std::int32_t sample) {
    std::shift_right(m_samples.begin(), m_samples.end(), 1);
    m_samples.front() = sample;
}

std::int32_t CurrentHistory::Average() const {
    // Samples come from three-character fields, so the sum stays far inside 32 bits; it is
    // taken in 64 bits all the same so no reply can make it overflow.
    const std::int64_t sum = std::accumulate(m_samples.begin(), m_samples.end(), std::int64_t{0});
    return static_cast<std::int32_t>(sum / kLength);
}
