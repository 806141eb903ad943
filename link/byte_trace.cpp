#include "link/byte_trace.h"

#include "link/escaped_bytes.h"
#include "link/local_time.h"

#include <chrono>

namespace pelmora {

namespace {

constexpr std::string_view kSentMark = ">";
constexpr std::string_view kReceivedMark = "<";
constexpr std::string_view kDiscardedMark = "< (discarded)";
constexpr std::string_view kNoteMark = "--";

} // namespace

void ByteTrace::Sent(std::string_view port, std::string_view bytes) {
    Line(port, kSentMark, EscapeBytes(bytes));
}

void ByteTrace::Received(std::string_view port, std::string_view bytes) {
    Line(port, kReceivedMark, EscapeBytes(bytes));
}

void ByteTrace::Discarded(std::string_view port, std::string_view bytes) {
    Line(port, kDiscardedMark, EscapeBytes(bytes));
}

void ByteTrace::Note(std::string_view port, std::string_view text) {
    Line(port, kNoteMark, text);
}

void ByteTrace::Line(std::string_view port, std::string_view mark, std::string_view text) {
    if (!m_enabled) {
        return;
    }
    m_out << FormatLocalTimestamp(std::chrono::system_clock::now()) << ' ' << port << ' ' << mark
          << ' ' << text << '\n'
          << std::flush;
}

} // namespace pelmora
