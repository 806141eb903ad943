#pragma once

#include <filesystem>
#include <sys/types.h>

// A child process that keeps the device open in exclusive mode without the lock that programs
// of ours take, as a terminal program may; it is killed when this goes.
class ExclusiveHolder {
public:
    explicit ExclusiveHolder(const std::filesystem::path& device);
    ~ExclusiveHolder();
    ExclusiveHolder(const ExclusiveHolder&) = delete;
    ExclusiveHolder& operator=(const ExclusiveHolder&) = delete;

    // False when it could not open the device or make it exclusive.
    bool Holding() const { return m_holding; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    bool m_holding = false;
};
