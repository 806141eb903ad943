#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace pelmora {

// With -v: every byte sent to and received from a port, escaped, one line per transfer, with
// the local time, e.g. "2026-12-08T14:03:07.250+09:00 COM3 > REQA\r". Quiet when off.
class ByteTrace {
public:
    ByteTrace(std::ostream& out, bool enabled) : m_out(out), m_enabled(enabled) {}

    void Sent(std::string_view port, std::string_view bytes);
    void Received(std::string_view port, std::string_view bytes);
    // Bytes left over from earlier that are thrown away before a request.
    void Discarded(std::string_view port, std::string_view bytes);
    // Anything else worth a line among the bytes: opening, closing, a wait that ran out.
    void Note(std::string_view port, std::string_view text);

private:
    void Line(std::string_view port, std::string_view mark, std::string_view text);

    std::ostream& m_out;
    bool m_enabled;
};

} // namespace pelmora
