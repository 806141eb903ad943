#include "tests/server/serve_fixture.h"

#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>

using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;
namespace protocol = pelmora::protocol;

namespace {

constexpr auto kStartBound = 10s;

} // namespace

std::size_t CountOf(const SimulatedSupply& supply, std::string_view command) {
    const auto log = supply.Log();
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const auto& logged) { return logged.bytes == command; }));
}

std::vector<std::string> Commands(const SimulatedSupply& supply) {
    std::vector<std::string> commands;
    for (const auto& logged : supply.Log()) {
        commands.push_back(logged.bytes);
    }
    return commands;
}

std::string LastSetting(const SimulatedSupply& supply) {
    const auto commands = Commands(supply);
    const auto setting = std::find_if(commands.rbegin(), commands.rend(), [](const auto& command) {
        return command != protocol::kCurrentRequest;
    });
    return setting == commands.rend() ? std::string() : *setting;
}

std::vector<std::string> VoltageCommands(const SimulatedSupply& supply) {
    std::vector<std::string> voltages;
    for (const auto& command : Commands(supply)) {
        if (command.starts_with("V")) {
            voltages.push_back(command);
        }
    }
    return voltages;
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

SimConfig QuietLoads(double positiveOhms, double negativeOhms,
                     std::vector<pelmora::sim::LoadChange> changes) {
    SimConfig config;
    config.noiseMa = 0;
    config.positiveLoadOhms = positiveOhms;
    config.negativeLoadOhms = negativeOhms;
    config.loadChanges = std::move(changes);
    return config;
}

RunningServe::RunningServe(const SimulatedSupply& supply, const std::vector<std::string>& extra)
    : RunningServe(Ports(supply), extra) {}

RunningServe::RunningServe(const std::string& ports, const std::vector<std::string>& extra) {
    std::vector<std::string> arguments{"serve", "--listen", "127.0.0.1:0"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    if (std::find(extra.begin(), extra.end(), "--wait") == extra.end()) {
        arguments.insert(arguments.end(), {"--wait", kServeWaitMs});
    }
    m_cli = std::make_unique<RunningCli>(arguments, ports);
    std::optional<std::vector<std::string>> match;
    WaitUntil(
        [&] {
            m_readyLine = m_cli->OutputSoFar();
            match = WholeMatch(m_readyLine,
                               R"(listening on 127\.0\.0\.1:(\d+), supply COM3 \(/[^)]+\)\n)");
            return match.has_value();
        },
        kStartBound);
    if (match) {
        m_port = static_cast<std::uint16_t>(std::stoi((*match)[1]));
    }
}

CliRun RunningServe::Stop(int signalNumber) {
    m_cli->Signal(signalNumber);
    return m_cli->Finish();
}
