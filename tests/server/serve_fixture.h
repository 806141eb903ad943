#pragma once

#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/cli_runner.h"
#include "tests/support/supply_ports.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// pelmora-cli serve as its tests meet it: started on a free loopback port of a simulated
// supply, and the supply's commands as they reached it.

using namespace std::chrono_literals;

// Far beyond what the simulated supply takes, so that a loaded machine (a sanitizer build beside
// other tests) does not fail a test that is not about the wait; the reset command is followed by
// a pause this long.
inline constexpr const char* kServeWaitMs = kPatientWaitMs;
inline constexpr std::string_view kIdentity = "Pelmora,DRELVOV99,0," PELMORA_VERSION;

std::size_t CountOf(const pelmora::sim::SimulatedSupply& supply, std::string_view command);
std::vector<std::string> Commands(const pelmora::sim::SimulatedSupply& supply);
// The last command other than a poll of the currents, which come and go with the output on.
std::string LastSetting(const pelmora::sim::SimulatedSupply& supply);
// The voltage commands the supply got, in order.
std::vector<std::string> VoltageCommands(const pelmora::sim::SimulatedSupply& supply);
bool Contains(const std::string& text, std::string_view part);
// A simulated supply whose rails read exactly V / R, with `changes` on schedule.
pelmora::sim::SimConfig QuietLoads(double positiveOhms, double negativeOhms,
                                   std::vector<pelmora::sim::LoadChange> changes = {});

// pelmora-cli serve on a free loopback port of the simulated supply, ready for clients.
class RunningServe {
public:
    explicit RunningServe(const pelmora::sim::SimulatedSupply& supply,
                          const std::vector<std::string>& extra = {});
    RunningServe(const std::string& ports, const std::vector<std::string>& extra);

    bool Ready() const { return m_port != 0; }
    std::uint16_t Port() const { return m_port; }
    const std::string& ReadyLine() const { return m_readyLine; }
    std::string Log() const { return m_cli->ErrorsSoFar(); }
    CliRun Stop(int signalNumber = 15);

private:
    std::unique_ptr<RunningCli> m_cli;
    std::string m_readyLine;
    std::uint16_t m_port = 0;
};
