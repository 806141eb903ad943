#include "cli11_support/bounded_number.h"

#include <CLI/CLI.hpp>

namespace pelmora::cli11 {

void RejectNotWhole(const std::string& option, const std::string& text) {
    throw CLI::ValidationError(option, "'" + text + "' is not a whole number");
}

void RejectOutside(const std::string& option, const std::string& text, const std::string& minimum,
                   const std::string& maximum) {
    throw CLI::ValidationError(option, text + " is outside " + minimum + " to " + maximum);
}

} // namespace pelmora::cli11
