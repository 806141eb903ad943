#pragma once

#include "link/supply_protocol.h"
#include "link/voltage_table.h"
#include "sim/sim_config.h"

#include <chrono>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::sim {

// The current field of a reply has three digits.
inline constexpr int kMaxCurrentMa = 999;
// Longer than one host read, so that the tail is left queued for the next one.
inline constexpr std::size_t kLongReplyLength = protocol::kReplyCapacity + 5;

struct SupplyState {
    bool outputOn = false;
    std::string positiveCode{kDefaultVoltageCode};
    std::string negativeCode{kDefaultVoltageCode};
};

// What the supply does with one complete command, apart from any line: the output state it is
// left in and the reply it owes. Not thread-safe.
class SupplyModel {
public:
    using Clock = std::chrono::steady_clock;

    explicit SupplyModel(const SimConfig& config);

    // The reply to `command`, which ends in "\r" and arrived at `received`; nothing for a
    // command that takes no reply or that the supply does not know.
    std::optional<std::string> Handle(std::string_view command, Clock::time_point received);
    // As if the command arrived now.
    std::optional<std::string> Handle(std::string_view command);

    const SupplyState& State() const { return m_state; }

private:
    struct Loads {
        double positiveOhms;
        double negativeOhms;
    };

    std::string CurrentReply(Clock::time_point at);
    Loads LoadsAt(Clock::time_point at) const;
    int RailCurrentMa(std::string_view code, double loadOhms);

    std::string m_identityReply;
    Loads m_initialLoads;
    // In the order they come due.
    std::vector<LoadChange> m_loadChanges;
    // The load changes count from here.
    std::optional<Clock::time_point> m_firstOn;
    bool m_longCurrentReply;
    std::mt19937 m_random;
    std::uniform_int_distribution<int> m_noise;
    SupplyState m_state;
};

} // namespace pelmora::sim
