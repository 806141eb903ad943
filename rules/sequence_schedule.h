#pragma once

#include "rules/voltage_sequence.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace pelmora {

// When each step of a running sequence is due. Every start is the program's start plus the
// dwells before it, so a late write delays only its own step and no lateness adds up over a
// long program.
class SequenceSchedule {
public:
    using Clock = std::chrono::steady_clock;

    struct Slot {
        // Counted from 0 over all passes.
        std::size_t number = 0;
        std::size_t pass = 0;
        // The step of the program, 0 for its first line.
        std::size_t step = 0;
        Clock::time_point start;
        Clock::time_point end;
    };

    // `passes` runs through the program, or without end when empty. Throws
    // std::invalid_argument for no steps, a dwell that is not positive or no passes.
    SequenceSchedule(std::span<const SequenceStep> steps, Clock::time_point start,
                     std::optional<std::size_t> passes);

    // Slots over all passes; empty when the program repeats without end.
    std::optional<std::size_t> SlotCount() const;
    // The slot `number`, whether or not the program still runs then.
    Slot SlotAt(std::size_t number) const;
    // The slot running at `now` (the first before the start); empty once the last one is over.
    std::optional<Slot> Current(Clock::time_point now) const;
    // When the last slot ends; empty when the program repeats without end.
    std::optional<Clock::time_point> End() const;

private:
    std::vector<Clock::duration> m_startOffsets;
    Clock::duration m_passLength{};
    Clock::time_point m_start;
    std::optional<std::size_t> m_passes;
};

} // namespace pelmora
