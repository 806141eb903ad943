#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

// A simulated supply that the test run started outside this process (a Windows program cannot
// make a pseudo-terminal) and listed as a COM port. The environment names each one by its role:
// PELMORA_TEST_<ROLE>_PORT holds its port's name, e.g. "COM5", and PELMORA_TEST_<ROLE>_LOG the
// Windows path of the file it logs every command it receives to.
class SimulatedPort {
public:
    // Throws std::runtime_error when the environment does not name the role.
    explicit SimulatedPort(const std::string& role);

    const std::string& Name() const { return m_name; }
    // "\\.\COM5".
    std::filesystem::path DevicePath() const;
    int Number() const;

    // The commands logged so far, each escaped as the log writes it ("REQPN\r" as REQPN\\r).
    std::vector<std::string> Commands() const;
    // The commands logged after the first `skip`, once there are at least `count` of them, or
    // whatever there is when a generous bound has passed.
    std::vector<std::string> CommandsAfter(std::size_t skip, std::size_t count) const;

private:
    std::string m_name;
    std::filesystem::path m_log;
};
