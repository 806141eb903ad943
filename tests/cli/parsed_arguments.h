#pragma once

#include "cli/cli_options.h"

#include <initializer_list>
#include <span>
#include <string_view>

namespace pelmora::cli {

// The command line as the program gets it, after its name.
inline ParsedCommandLine Parse(std::initializer_list<std::string_view> arguments) {
    return ParseCommandLine(std::span(arguments.begin(), arguments.size()));
}

} // namespace pelmora::cli
