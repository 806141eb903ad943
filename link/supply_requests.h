#pragma once

#include "link/supply_line.h"
#include "link/supply_protocol.h"

#include <optional>
#include <string>
#include <string_view>

// The supply's commands as pelmora-cli carries them out, each with the pause the protocol
// gives it.
namespace pelmora {

// The reply to the identity request; the caller checks it.
Reply AskIdentity(SupplyLine& line);

// Sets both rails, which also switches the output on. Throws SupplyError.
void SendVoltages(SupplyLine& line, std::string_view positiveCode, std::string_view negativeCode);

// Switches the output off. Throws SupplyError.
void SendReset(SupplyLine& line);

struct CurrentPoll {
    // Empty when the reply was missing or not laid out as a current reply.
    std::optional<protocol::CurrentReading> reading;
    Reply reply;
};

CurrentPoll PollCurrents(SupplyLine& line);

} // namespace pelmora
