#pragma once

#include "link/rail.h"
#include "link/supply_protocol.h"

#include <array>
#include <cstddef>
#include <optional>

namespace pelmora {

// The present current as a data file or a measurement query gives it: each rail's mean over
// the readings taken since the output went on or its voltages last changed, the last ten at
// most. Readings from before such a change say nothing of the current now. (The panel's
// display keeps a history of its own, which ramps up over its first ten polls.)
class RecentAverage {
public:
    static constexpr std::size_t kSamples = 10;

    // The output went on, or its voltages changed.
    void Restart();
    void Add(const protocol::CurrentReading& reading);
    // None before the first reading since the last restart.
    std::optional<double> Milliamps(Rail rail) const;
    // Both rails, each rounded to whole mA.
    std::optional<protocol::CurrentReading> Rounded() const;

private:
    std::array<std::array<int, kSamples>, 2> m_milliamps{};
    std::size_t m_count = 0;
    std::size_t m_next = 0;
};

} // namespace pelmora
