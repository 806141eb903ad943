#pragma once

#include "listen_address.h"
#include "port_probe.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

enum class Verb { Ports, Identify, Set, On, Off, Read, Monitor, Serve };

struct CliOptions {
    Verb verb = Verb::Identify;
    PortChoice port;
    int waitMs = 0;
    bool quiet = false;
    bool verbose = false;
    bool json = false;

    // set and on.
    std::string positiveCode;
    std::string negativeCode;

    // monitor.
    std::chrono::milliseconds interval{0};
    std::optional<std::chrono::milliseconds> duration;
    std::optional<long long> samples;
    std::optional<std::filesystem::path> csvFile;
    bool stopOnError = false;
    bool leaveOn = false;

    // serve.
    ListenAddress listen;
    // Empty: any peer, which only a loopback address lets in.
    std::vector<AddressRange> allowed;
    bool offOnDisconnect = false;
};

// What became of the command line: options to run, or an exit status with what to print
// (help and the version on standard output, a usage error as one line on standard error).
struct ParsedCommandLine {
    std::optional<CliOptions> options;
    int exitStatus = 0;
    std::string output;
    std::string error;
};

// `arguments` without the program name. Every argument is checked here, before any port is
// touched.
ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments);

} // namespace pelmora::cli
