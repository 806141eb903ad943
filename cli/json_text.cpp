#include "json_text.h"

#include <array>
#include <cstdio>

namespace pelmora::cli {

namespace {

constexpr unsigned char kFirstPlain = 0x20;
constexpr unsigned char kLastPlain = 0x7e;
constexpr std::size_t kEscapeCapacity = 8;

} // namespace

std::string JsonString(std::string_view bytes) {
    std::string text = "\"";
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += byte;
        } else if (value >= kFirstPlain && value <= kLastPlain) {
            text += byte;
        } else {
            std::array<char, kEscapeCapacity> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", value);
            text += escape.data();
        }
    }
    return text + "\"";
}

} // namespace pelmora::cli
