#include "sim/command_log.h"

#include "link/escaped_bytes.h"

#include <ctime>
#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace pelmora::sim {

namespace {

constexpr int kMillisecondDigits = 3;

} // namespace

std::string FormatLogLine(std::chrono::system_clock::time_point when, std::string_view command) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(when);
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const std::time_t calendarTime = system_clock::to_time_t(seconds);
    std::tm utc{};
    ::gmtime_r(&calendarTime, &utc);

    std::ostringstream line;
    line << std::put_time(&utc, "%Y-%m-%dT%H:%M:%S") << '.' << std::setw(kMillisecondDigits)
         << std::setfill('0') << milliseconds << "Z ";
    line << EscapeBytes(command);
    return line.str();
}

CommandLog::CommandLog(const std::optional<std::filesystem::path>& file) {
    if (!file) {
        return;
    }
    m_file.open(*file, std::ios::app);
    if (!m_file) {
        throw std::runtime_error("cannot open the log file " + file->string());
    }
}

void CommandLog::Record(std::string command, std::chrono::steady_clock::time_point received) {
    const auto wallClock = std::chrono::system_clock::now();
    {
        const std::lock_guard lock(m_mutex);
        if (m_file.is_open()) {
            // Flushed at once so that a watcher of the file sees each command as it comes.
            m_file << FormatLogLine(wallClock, command) << std::endl;
        }
        m_entries.push_back({received, std::move(command)});
    }
    m_recorded.notify_all();
}

std::vector<LoggedCommand> CommandLog::Entries() const {
    const std::lock_guard lock(m_mutex);
    return m_entries;
}

bool CommandLog::WaitForCount(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_recorded.wait_for(lock, timeout, [&] { return m_entries.size() >= count; });
}

} // namespace pelmora::sim
