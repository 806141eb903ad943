#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora::scpi {

// Cuts a byte stream into program lines. A line ends in LF, CR or CR LF, wherever the stream
// was split into segments. An empty line is no line. A line longer than kMaxLine is not kept:
// it becomes one overlong mark, and its bytes are dropped up to its end.
class LineFramer {
public:
    static constexpr std::size_t kMaxLine = 4096;

    struct Frame {
        std::string text;
        bool overlong = false;
    };

    void Receive(std::string_view bytes);
    // The oldest whole line, in arrival order with the overlong marks.
    std::optional<Frame> Next();
    // What is held and not taken yet, counting each whole line with its end.
    std::size_t Buffered() const { return m_framedBytes + m_partial.size(); }

private:
    void EndLine();
    void Push(Frame frame);

    std::deque<Frame> m_frames;
    std::size_t m_framedBytes = 0;
    std::string m_partial;
    bool m_discarding = false;
};

} // namespace pelmora::scpi
