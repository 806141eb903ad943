#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::sim {

struct LoggedCommand {
    std::chrono::steady_clock::time_point received;
    // Exactly as they came, "\r" included.
    std::string bytes;
};

// One line of the log file: "2024-05-01T12:34:56.789Z REQPN\r", with the carriage return and
// any other byte outside printable ASCII written as an escape so the line stays one line.
std::string FormatLogLine(std::chrono::system_clock::time_point when, std::string_view command);

// The commands received so far, readable from any thread while the serving thread adds to it.
class CommandLog {
public:
    // Throws std::runtime_error when the file cannot be opened for appending.
    explicit CommandLog(const std::optional<std::filesystem::path>& file);

    void Record(std::string command, std::chrono::steady_clock::time_point received);
    std::vector<LoggedCommand> Entries() const;
    // False when `timeout` ran out before `count` commands were recorded.
    bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_recorded;
    std::vector<LoggedCommand> m_entries;
    std::ofstream m_file;
};

} // namespace pelmora::sim
