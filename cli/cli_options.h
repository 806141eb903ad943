#pragma once

#include "cli/remote_address.h"
#include "link/port_probe.h"
#include "rules/overcurrent_trip.h"
#include "rules/voltage_sequence.h"
#include "server/listen_address.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::cli {

enum class Verb { Ports, Identify, Set, On, Off, Read, Monitor, Run, Serve };

struct CliOptions {
    Verb verb = Verb::Identify;
    PortChoice port;
    // Through the server there instead of a port here.
    std::optional<RemoteAddress> connect;
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
    // monitor and run.
    bool leaveOn = false;

    // on, set, monitor and run: the over-current protection, when asked for.
    std::optional<overcurrent::TripSettings> trip;

    // run: the program, read and checked whole while the command line was.
    std::vector<SequenceStep> sequence;
    // Passes through the program; empty for without end.
    std::optional<std::size_t> passes = 1;

    // serve.
    server::ListenAddress listen;
    // Empty: any peer, which only a loopback address lets in.
    std::vector<server::AddressRange> allowed;
    bool offOnDisconnect = false;
    // serve's web face, off unless given.
    std::optional<server::ListenAddress> http;
    // serve tells the local network of its services.
    bool announce = true;
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
