#include "tests/support/win32/simulated_port_win32.h"

#include "link/port_list.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace {

constexpr const char* kVariablePrefix = "PELMORA_TEST_";
constexpr const char* kDeviceNamespace = "\\\\.\\";
// A log line is "2024-05-01T12:34:56.789Z REQPN\r": a time, a blank, the command.
constexpr char kTimeSeparator = ' ';

std::string Variable(const std::string& role, const char* what) {
    const std::string name = kVariablePrefix + role + "_" + what;
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0') {
        throw std::runtime_error(name +
                                 " is not set: run these tests through scripts/test-windows");
    }
    return value;
}

} // namespace

SimulatedPort::SimulatedPort(const std::string& role)
    : m_name(Variable(role, "PORT")), m_log(Variable(role, "LOG")) {}

std::filesystem::path SimulatedPort::DevicePath() const {
    return kDeviceNamespace + m_name;
}

int SimulatedPort::Number() const {
    return pelmora::PortNumberOf(m_name);
}

std::vector<std::string> SimulatedPort::Commands() const {
    std::vector<std::string> commands;
    std::ifstream log(m_log);
    std::string line;
    while (std::getline(log, line)) {
        const std::size_t split = line.find(kTimeSeparator);
        if (split != std::string::npos) {
            commands.push_back(line.substr(split + 1));
        }
    }
    return commands;
}

std::vector<std::string> SimulatedPort::CommandsAfter(std::size_t skip, std::size_t count) const {
    std::vector<std::string> commands;
    WaitUntil([&] {
        commands = Commands();
        return commands.size() >= skip + count;
    });
    commands.erase(commands.begin(),
                   commands.begin() + static_cast<std::ptrdiff_t>(std::min(skip, commands.size())));
    return commands;
}
