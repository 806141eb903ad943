#pragma once

#include "sim/command_log.h"
#include "sim/pseudo_terminal.h"
#include "sim/sim_config.h"
#include "sim/supply_model.h"
#include "sim/terminal_link.h"
#include "sim/unique_fd.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace pelmora::sim {

// A dual-rail supply on a pseudo-terminal: programs open SlavePath() as they would the supply's
// serial port, and a thread of its own answers their commands as the supply would, with the
// configured faults. Serving starts on construction and ends with Stop() or destruction.
class SimulatedSupply {
public:
    // Throws std::system_error without a pseudo-terminal and std::runtime_error when the log
    // file cannot be opened.
    explicit SimulatedSupply(SimConfig config = {});
    ~SimulatedSupply();
    SimulatedSupply(const SimulatedSupply&) = delete;
    SimulatedSupply& operator=(const SimulatedSupply&) = delete;

    // The device to open, e.g. /dev/pts/4.
    const std::filesystem::path& SlavePath() const;

    // Every complete command received so far, oldest first.
    std::vector<LoggedCommand> Log() const;
    // False when `timeout` ran out before `count` commands had been received. Once it returns
    // true, State() reflects those commands, and a hang-up one of them caused has happened.
    bool WaitForCommands(std::size_t count, std::chrono::milliseconds timeout) const;

    SupplyState State() const;

    // Ends serving and drops the line; replies not yet sent are lost. Returns once the serving
    // thread has ended; calling it again does nothing.
    void Stop();

private:
    using Clock = std::chrono::steady_clock;

    void Serve(std::stop_token stop);
    int PollTimeoutMs() const;
    // False when the line is gone.
    bool ReceiveBytes();
    bool HandleCommand(std::string command, Clock::time_point received);
    void SendDueReplies();
    void DropLine();
    void Wake();

    const SimConfig m_config;
    CommandLog m_log;

    mutable std::mutex m_modelMutex;
    SupplyModel m_model;

    // Only the serving thread touches these while it runs, apart from the slave path, which
    // never changes.
    PseudoTerminal m_terminal;
    TerminalLink m_link;
    UniqueFd m_wake;
    std::mt19937 m_replyRandom;
    std::string m_partialCommand;
    std::size_t m_commandCount = 0;
    // Reply pieces by due time; pieces due at the same time keep the order they were planned in.
    std::multimap<Clock::time_point, std::string> m_pending;

    // Last, so that it stops before the members it uses are destroyed.
    std::jthread m_thread;
};

} // namespace pelmora::sim
