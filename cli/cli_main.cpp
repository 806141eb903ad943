#include "cli/cli_options.h"
#include "cli/verbs.h"

#include <iostream>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    // Rows and results go out through the streams alone, so they need not keep in step with C's.
    std::ios::sync_with_stdio(false);
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    const auto parsed = pelmora::cli::ParseCommandLine(arguments);
    if (!parsed.options) {
        std::cout << parsed.output << std::flush;
        std::cerr << parsed.error << (parsed.error.empty() ? "" : "\n");
        return parsed.exitStatus;
    }
    return pelmora::cli::RunVerb(*parsed.options, std::cout, std::cerr);
}
