#include "link/escaped_bytes.h"

namespace pelmora {

namespace {

constexpr char kFirstPrintable = ' ';
constexpr char kLastPrintable = '~';
constexpr std::string_view kHexDigits = "0123456789abcdef";
constexpr unsigned kNibbleBits = 4;
constexpr unsigned kNibbleMask = 0xf;

} // namespace

std::string EscapeBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        switch (byte) {
        case '\r':
            text += "\\r";
            continue;
        case '\n':
            text += "\\n";
            continue;
        case '\\':
            text += "\\\\";
            continue;
        default:
            break;
        }
        if (byte >= kFirstPrintable && byte <= kLastPrintable) {
            text += byte;
            continue;
        }
        const auto value = static_cast<unsigned char>(byte);
        text += "\\x";
        text += kHexDigits[value >> kNibbleBits];
        text += kHexDigits[value & kNibbleMask];
    }
    return text;
}

} // namespace pelmora
