#pragma once

#include "link/whole_number.h"

#include <string>

namespace pelmora::cli11 {

// Throw the option's usage error (CLI::ValidationError).
[[noreturn]] void RejectNotWhole(const std::string& option, const std::string& text);
[[noreturn]] void RejectOutside(const std::string& option, const std::string& text,
                                const std::string& minimum, const std::string& maximum);

// The whole number an option was given, from `minimum` to `maximum` inclusive; anything else is
// the option's usage error, naming the range.
template <typename Number>
Number ParseBounded(const std::string& option, const std::string& text, Number minimum,
                    Number maximum) {
    const auto value = ParseWholeNumber<Number>(text);
    if (!value) {
        RejectNotWhole(option, text);
    }
    if (*value < minimum || *value > maximum) {
        RejectOutside(option, text, std::to_string(minimum), std::to_string(maximum));
    }
    return *value;
}

} // namespace pelmora::cli11
