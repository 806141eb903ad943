#include "escaped_text.h"

namespace pelmora {

namespace {

constexpr char kFirstPrintable = 0x20;
constexpr char kLastPrintable = 0x7E;
constexpr std::string_view kHexDigits = "0123456789ABCDEF";

} // namespace

std::string EscapedBytes(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char byte : bytes) {
        switch (byte) {
        case '\r':
            text += "\\r";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '"':
            text += "\\\"";
            break;
        default:
            if (byte >= kFirstPrintable && byte <= kLastPrintable) {
                text += byte;
            } else {
                const auto value = static_cast<unsigned char>(byte);
                text += "\\x";
                text += kHexDigits[value >> 4];
                text += kHexDigits[value & 0x0F];
            }
        }
    }
    return text;
}

} // namespace pelmora
