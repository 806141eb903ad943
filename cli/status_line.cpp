#include "cli/status_line.h"

#include "cli/cli_timing.h"

namespace pelmora::cli {

namespace {

// Back to the start of the line, and clear what a longer line left there.
constexpr const char* kReturn = "\r";
constexpr const char* kClearToEnd = "\x1b[K";

} // namespace

void StatusLine::Update(long long samples, const std::optional<protocol::CurrentReading>& last,
                        long long failures) {
    m_samples = samples;
    if (last) {
        m_last = last;
    }
    m_failures = failures;
    const auto now = std::chrono::steady_clock::now();
    if (m_enabled && (!m_drawn || now - m_lastDrawn >= timing::kStatusRefresh)) {
        m_lastDrawn = now;
        Draw();
    }
}

void StatusLine::Message(const std::string& text) {
    if (m_enabled && m_drawn) {
        m_out << kReturn << kClearToEnd;
        m_drawn = false;
    }
    m_out << text << '\n' << std::flush;
}

void StatusLine::Finish() {
    if (m_enabled && m_drawn) {
        Draw();
        m_out << '\n' << std::flush;
    }
}

void StatusLine::Draw() {
    std::string text(kReturn);
    text += std::to_string(m_samples);
    text += " samples";
    if (m_last) {
        text += ", last " + std::to_string(m_last->positiveMa) + " mA / " +
                std::to_string(m_last->negativeMa) + " mA";
    }
    text += ", " + std::to_string(m_failures) + " failed" + kClearToEnd;
    m_out << text << std::flush;
    m_drawn = true;
}

} // namespace pelmora::cli
