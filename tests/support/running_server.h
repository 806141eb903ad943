#pragma once

#include "tests/support/spawned_program.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// Long enough that only a hang runs into it, even on a loaded sanitizer build.
inline constexpr std::chrono::milliseconds kServeBound{20000};

// The built `pelmora-cli serve`, started as a user starts it on a free loopback port, holding
// the supply on `device` as COM3 with a patient reply wait. Its standard output and error go to
// files the test reads.
class RunningServer {
public:
    explicit RunningServer(const std::filesystem::path& device,
                           const std::vector<std::string>& extraArguments = {});
    ~RunningServer();
    RunningServer(const RunningServer&) = delete;
    RunningServer& operator=(const RunningServer&) = delete;

    // The port named by the ready line, once it came; empty when the server ended or never
    // said it was listening.
    std::optional<std::uint16_t> Port() const { return m_port; }
    pid_t Pid() const { return m_program->Pid(); }
    void Signal(int signalNumber) const { m_program->Signal(signalNumber); }
    std::optional<int> WaitForEnd(std::chrono::milliseconds bound = kServeBound) {
        return m_program->WaitForEnd(bound);
    }
    std::string Output() const;
    std::string Errors() const;

private:
    std::filesystem::path m_outFile;
    std::filesystem::path m_errFile;
    std::optional<SpawnedProgram> m_program;
    std::optional<std::uint16_t> m_port;
};

// The directory of the built pelmora-cli, for a PATH that finds it as an installed one.
std::string CliDirectory();

// Resident memory of a process in KiB, from /proc; 0 when it cannot be read.
long ResidentKib(pid_t pid);
