#pragma once

#include "sim/sim_config.h"

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::sim {

inline constexpr std::string_view kDefaultPortName = "COM3";

struct SimOptions {
    SimConfig config;
    // The name the simulated port takes in the port list.
    std::string portName{kDefaultPortName};
    // The program to run, with its arguments; empty to serve until told to stop.
    std::vector<std::string> command;
    bool showHelp = false;
    bool showVersion = false;
};

// A command line that cannot be followed; what() says why, for the user.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// `arguments` without the program name. Throws UsageError.
SimOptions ParseArguments(std::span<const std::string_view> arguments);

std::string UsageText();

} // namespace pelmora::sim
