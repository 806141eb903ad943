#include "scpi/line_framer.h"

namespace pelmora::scpi {

namespace {

constexpr char kLineFeed = '\n';
constexpr char kCarriageReturn = '\r';

} // namespace

void LineFramer::Receive(std::string_view bytes) {
    for (const char byte : bytes) {
        // CR LF ends a line and then an empty one, which is no line.
        if (byte == kLineFeed || byte == kCarriageReturn) {
            EndLine();
            continue;
        }
        if (m_discarding) {
            continue;
        }
        if (m_partial.size() == kMaxLine) {
            // Marked now rather than at its end, so that a sender that never ends the line
            // still hears of it; the bytes are not worth keeping.
            Push({{}, true});
            m_partial.clear();
            m_discarding = true;
            continue;
        }
        m_partial.push_back(byte);
    }
}

std::optional<LineFramer::Frame> LineFramer::Next() {
    if (m_frames.empty()) {
        return std::nullopt;
    }
    Frame frame = std::move(m_frames.front());
    m_frames.pop_front();
    m_framedBytes -= frame.text.size() + 1;
    return frame;
}

void LineFramer::EndLine() {
    if (!m_discarding && !m_partial.empty()) {
        Push({std::move(m_partial), false});
    }
    m_partial.clear();
    m_discarding = false;
}

void LineFramer::Push(Frame frame) {
    m_framedBytes += frame.text.size() + 1;
    m_frames.push_back(std::move(frame));
}

} // namespace pelmora::scpi
