#include "cli/json_text.h"

#include <array>
#include <cstdio>

namespace pelmora::cli {

namespace {

constexpr unsigned char kFirstPlain = 0x20;
constexpr unsigned char kDelete = 0x7f;
constexpr std::size_t kEscapeCapacity = 8;
constexpr std::string_view kReplacement = "\\ufffd";

// The bytes a UTF-8 sequence may continue with, and the ranges of RFC 3629 that narrow the
// first continuation byte after some lead bytes (no overlong forms, no surrogates, nothing
// beyond U+10FFFF).
constexpr unsigned char kContinuationLow = 0x80;
constexpr unsigned char kContinuationHigh = 0xbf;
constexpr unsigned char kLowestTwoByteLead = 0xc2;
constexpr unsigned char kLowestThreeByteLead = 0xe0;
constexpr unsigned char kLowestFourByteLead = 0xf0;
constexpr unsigned char kHighestFourByteLead = 0xf4;
constexpr unsigned char kSurrogateLead = 0xed;
constexpr unsigned char kBelowSurrogates = 0x9f;
constexpr unsigned char kAboveOverlongThree = 0xa0;
constexpr unsigned char kAboveOverlongFour = 0x90;
constexpr unsigned char kBelowBeyondUnicode = 0x8f;

unsigned char ByteAt(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]);
}

// The length of the valid UTF-8 sequence of more than one byte that starts at `at`; 0 when
// none does.
std::size_t SequenceLength(std::string_view bytes, std::size_t at) {
    const unsigned char lead = ByteAt(bytes, at);
    std::size_t length = 0;
    unsigned char low = kContinuationLow;
    unsigned char high = kContinuationHigh;
    if (lead >= kLowestTwoByteLead && lead < kLowestThreeByteLead) {
        length = 2;
    } else if (lead >= kLowestThreeByteLead && lead < kLowestFourByteLead) {
        length = 3;
        if (lead == kLowestThreeByteLead) {
            low = kAboveOverlongThree;
        } else if (lead == kSurrogateLead) {
            high = kBelowSurrogates;
        }
    } else if (lead >= kLowestFourByteLead && lead <= kHighestFourByteLead) {
        length = 4;
        if (lead == kLowestFourByteLead) {
            low = kAboveOverlongFour;
        } else if (lead == kHighestFourByteLead) {
            high = kBelowBeyondUnicode;
        }
    } else {
        return 0;
    }
    if (bytes.size() - at < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = ByteAt(bytes, at + i);
        if (next < low || next > high) {
            return 0;
        }
        low = kContinuationLow;
        high = kContinuationHigh;
    }
    return length;
}

} // namespace

std::string JsonString(std::string_view bytes) {
    std::string text = "\"";
    std::size_t at = 0;
    while (at < bytes.size()) {
        const char byte = bytes[at];
        const unsigned char value = ByteAt(bytes, at);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += byte;
        } else if (value < kFirstPlain || value == kDelete) {
            std::array<char, kEscapeCapacity> escape{};
            std::snprintf(escape.data(), escape.size(), "\\u%04x", value);
            text += escape.data();
        } else if (value < kDelete) {
            text += byte;
        } else if (const std::size_t length = SequenceLength(bytes, at); length > 0) {
            text += bytes.substr(at, length);
            at += length;
            continue;
        } else {
            text += kReplacement;
        }
        ++at;
    }
    return text + "\"";
}

} // namespace pelmora::cli
