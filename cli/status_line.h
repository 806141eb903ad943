#pragma once

#include "link/supply_protocol.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

namespace pelmora::cli {

// The live line a person watching a terminal sees while monitor runs: samples taken, the last
// reading and the failures so far, redrawn in place at most every timing::kStatusRefresh.
class StatusLine {
public:
    // Draws nothing when not enabled.
    StatusLine(std::ostream& out, bool enabled) : m_out(out), m_enabled(enabled) {}

    void Update(long long samples, const std::optional<protocol::CurrentReading>& last,
                long long failures);
    // A message of its own line, which the status line makes room for; shown also when the
    // status line is not enabled.
    void Message(const std::string& text);
    // Leaves the last state standing on its own line.
    void Finish();

private:
    void Draw();

    std::ostream& m_out;
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_lastDrawn;
    long long m_samples = 0;
    std::optional<protocol::CurrentReading> m_last;
    long long m_failures = 0;
};

} // namespace pelmora::cli
