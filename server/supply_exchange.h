#pragma once

#include "link/serial_channel.h"
#include "link/supply_line.h"
#include "scpi/supply_action.h"

namespace pelmora::server {

// Carries out a session's action on the supply, with the pauses the protocol gives each
// command, and tells how it went. A sample is taken like a measurement.
scpi::ActionResult CarryOut(SupplyLine& line, const CSerialChannel& channel,
                            const scpi::SupplyAction& action);

// The supply's last words from the server: the reset, then the port closed. True when the supply
// took the reset.
bool ResetAndClose(CSerialChannel& channel, SupplyLine& line);

// What the reply to a current request, or to the identity request, comes to.
scpi::ActionResult MeasuredResult(const Reply& reply, const CSerialChannel& channel);
scpi::ActionResult IdentifiedResult(const Reply& reply, const CSerialChannel& channel);

} // namespace pelmora::server
