#pragma once

#include "link/byte_trace.h"
#include "link/port_probe.h"
#include "link/serial_channel.h"
#include "rules/supply_watch.h"

namespace pelmora::server {

// Finds the supply again after its port went away, as the panel does: new devices, and those
// another program held, are asked who they are at each look, the supply's own device first.
// Used on the supply's thread alone.
class ReturnWatch {
public:
    ReturnWatch(PortChoice choice, int waitMs, ByteTrace& trace);

    // The supply is open on `port`.
    void Follow(const SerialPortEntry& port);
    // It went away; the devices there now are not it.
    void Start();
    // One look: the port the supply is open on again, or none.
    std::optional<SerialPortEntry> Look(CSerialChannel& channel);

private:
    std::vector<SerialPortEntry> Candidates() const;

    PortChoice m_choice;
    int m_waitMs;
    ByteTrace& m_trace;
    SupplyWatch m_watch;
};

} // namespace pelmora::server
