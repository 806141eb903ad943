#include "rules/sequence_schedule.h"

#include <algorithm>
#include <stdexcept>

namespace pelmora {

SequenceSchedule::SequenceSchedule(std::span<const SequenceStep> steps, Clock::time_point start,
                                   std::optional<std::size_t> passes)
    : m_start(start), m_passes(passes) {
    if (steps.empty()) {
        throw std::invalid_argument("a sequence needs at least one step");
    }
    if (passes && *passes == 0) {
        throw std::invalid_argument("a sequence runs at least once");
    }
    for (const SequenceStep& step : steps) {
        if (step.dwell <= Clock::duration::zero()) {
            throw std::invalid_argument("every step of a sequence must last a while");
        }
        m_startOffsets.push_back(m_passLength);
        m_passLength += step.dwell;
    }
}

std::optional<std::size_t> SequenceSchedule::SlotCount() const {
    if (!m_passes) {
        return std::nullopt;
    }
    return *m_passes * m_startOffsets.size();
}

SequenceSchedule::Slot SequenceSchedule::SlotAt(std::size_t number) const {
    const std::size_t steps = m_startOffsets.size();
    const std::size_t pass = number / steps;
    const std::size_t step = number % steps;
    const Clock::time_point passStart =
        m_start + m_passLength * static_cast<Clock::duration::rep>(pass);
    const Clock::duration stepEnd = step + 1 < steps ? m_startOffsets[step + 1] : m_passLength;
    return {number, pass, step, passStart + m_startOffsets[step], passStart + stepEnd};
}

std::optional<SequenceSchedule::Slot> SequenceSchedule::Current(Clock::time_point now) const {
    if (now < m_start) {
        return SlotAt(0);
    }
    const Clock::duration elapsed = now - m_start;
    const auto pass = static_cast<std::size_t>(elapsed / m_passLength);
    if (m_passes && pass >= *m_passes) {
        return std::nullopt;
    }
    const Clock::duration intoPass = elapsed % m_passLength;
    // The last step that has started by now.
    const auto started = std::upper_bound(m_startOffsets.begin(), m_startOffsets.end(), intoPass);
    const auto step = static_cast<std::size_t>(started - m_startOffsets.begin()) - 1;
    return SlotAt(pass * m_startOffsets.size() + step);
}

std::optional<SequenceSchedule::Clock::time_point> SequenceSchedule::End() const {
    if (!m_passes) {
        return std::nullopt;
    }
    return m_start + m_passLength * static_cast<Clock::duration::rep>(*m_passes);
}

} // namespace pelmora
