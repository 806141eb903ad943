#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Another program started by a test, with changes to the environment it inherits. It runs in
// a process group of its own, which is killed when the object goes; the program is collected
// then unless it has ended before.
class SpawnedProgram {
public:
    // `environment` entries replace or add variables; an empty value removes one. Standard
    // output and error go to the files given, else where the test's own go. Throws
    // std::runtime_error when the program cannot be started.
    SpawnedProgram(const std::vector<std::string>& command,
                   const std::map<std::string, std::string>& environment = {},
                   const std::filesystem::path& standardOutput = {},
                   const std::filesystem::path& standardError = {});
    ~SpawnedProgram();
    SpawnedProgram(const SpawnedProgram&) = delete;
    SpawnedProgram& operator=(const SpawnedProgram&) = delete;

    pid_t Pid() const { return m_pid; }
    // The wait status once the program has ended within `bound`; empty while it runs on.
    std::optional<int> WaitForEnd(std::chrono::milliseconds bound);
    void Signal(int signalNumber) const;

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// A program on PATH, or empty.
std::optional<std::string> FindProgram(const std::string& name);
// The running test program's own path.
std::string OwnExecutable();
