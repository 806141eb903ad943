#pragma once

#include "sim_config.h"
#include "supply_protocol.h"
#include "voltage_table.h"

#include <optional>
#include <random>
#include <string>
#include <string_view>

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
    explicit SupplyModel(const SimConfig& config);

    // The reply to `command`, which ends in "\r"; nothing for a command that takes no reply or
    // that the supply does not know.
    std::optional<std::string> Handle(std::string_view command);

    const SupplyState& State() const { return m_state; }

private:
    std::string CurrentReply();
    int RailCurrentMa(std::string_view code, double loadOhms);

    std::string m_identityReply;
    double m_positiveLoadOhms;
    double m_negativeLoadOhms;
    bool m_longCurrentReply;
    std::mt19937 m_random;
    std::uniform_int_distribution<int> m_noise;
    SupplyState m_state;
};

} // namespace pelmora::sim
