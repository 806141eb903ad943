#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace pelmora {

// Text that is a decimal number of type Number and nothing else: no blanks, no base prefix
// (a leading 0 is not octal), no unit; a minus sign only for a signed Number. Empty when the
// text is anything else or out of the type's range. For command lines, where the forgiving
// DecimalReading would hide a typing error.
template <typename Number> std::optional<Number> ParseWholeNumber(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace pelmora
