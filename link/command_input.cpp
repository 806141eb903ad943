#include "link/command_input.h"

#include <algorithm>
#include <vector>

namespace pelmora {

namespace {

constexpr std::string_view kCutMark = "...";
constexpr std::string_view kEndOfOptions = "--";
constexpr std::string_view kLongOptionStart = "--";
constexpr char kOptionStart = '-';
constexpr char kValueSeparator = '=';
constexpr unsigned char kContinuationMask = 0xc0;
constexpr unsigned char kContinuationBits = 0x80;
// A UTF-8 character has at most this many bytes after its first.
constexpr std::size_t kMaxContinuationBytes = 3;

bool IsContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & kContinuationMask) == kContinuationBits;
}

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

} // namespace

std::optional<std::string> FindEmptyValue(std::span<const std::string_view> arguments) {
    constexpr std::string_view kEmpty = ": the value is empty; give one, or leave the option out";
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != kEndOfOptions; ++i) {
        const std::string_view argument = arguments[i];
        if (argument.starts_with(kLongOptionStart) &&
            argument.find(kValueSeparator) + 1 == argument.size()) {
            return CutInput(argument.substr(0, argument.size() - 1)) + std::string(kEmpty);
        }
        if (!argument.empty()) {
            continue;
        }
        if (i > 0 && arguments[i - 1].starts_with(kOptionStart)) {
            return CutInput(arguments[i - 1]) + std::string(kEmpty);
        }
        return std::string("an argument is empty; give a value, or leave it out");
    }
    return std::nullopt;
}

std::string CutInput(std::string_view input) {
    if (input.size() <= kQuotedInputLimit) {
        return std::string(input);
    }
    std::size_t kept = kQuotedInputKept;
    while (kept > kQuotedInputKept - kMaxContinuationBytes && IsContinuationByte(input[kept])) {
        --kept;
    }
    return std::string(input.substr(0, kept)) + std::string(kCutMark) + " (" +
           std::to_string(input.size()) + " bytes)";
}

std::string CutInputsIn(std::string message, std::span<const std::string_view> inputs) {
    std::vector<std::string_view> longOnes;
    const auto add = [&longOnes](std::string_view part) {
        if (part.size() > kQuotedInputLimit) {
            longOnes.push_back(part);
        }
    };
    for (const std::string_view input : inputs) {
        add(input);
        // Parsers quote an option by its name alone, and its value apart from it.
        const std::string_view named =
            input.substr(std::min(input.find_first_not_of(kOptionStart), input.size()));
        const std::size_t split = named.find(kValueSeparator);
        add(named.substr(0, split));
        if (split != std::string_view::npos) {
            add(named.substr(split + 1));
        }
    }
    // The longest first: a value is part of its "--option=value".
    std::sort(longOnes.begin(), longOnes.end(),
              [](std::string_view a, std::string_view b) { return a.size() > b.size(); });
    for (const std::string_view input : longOnes) {
        ReplaceAll(message, input, CutInput(input));
    }
    return message;
}

} // namespace pelmora
