#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A program run to its end, as a test runs a client script: its exit status (none when it did
// not end within the bound, or ended by a signal) and what it printed.
struct FinishedProgram {
    std::optional<int> status;
    std::string out;
    std::string err;
};

// `environment` as SpawnedProgram takes it; the program is killed if it outlives `bound`.
FinishedProgram RunToEnd(const std::vector<std::string>& command,
                         const std::map<std::string, std::string>& environment,
                         std::chrono::milliseconds bound);

// "NAME VALUE" lines, as the client scripts print what they saw; the last of a name wins.
std::map<std::string, std::string> NamedLines(const std::string& out);
