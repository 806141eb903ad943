#include "server/return_watch.h"

#include "link/port_watch.h"

namespace pelmora::server {

ReturnWatch::ReturnWatch(PortChoice choice, int waitMs, ByteTrace& trace)
    : m_choice(std::move(choice)), m_waitMs(waitMs), m_trace(trace) {}

void ReturnWatch::Follow(const SerialPortEntry& port) {
    m_watch.FollowSupply(StableDeviceName(port.devicePath));
}

void ReturnWatch::Start() {
    m_watch.Start(Candidates());
}

std::optional<SerialPortEntry> ReturnWatch::Look(CSerialChannel& channel) {
    const auto found = m_watch.Look(Candidates(), [&](const SerialPortEntry& entry) {
        const ProbeResult result = ProbePort(channel, entry, m_waitMs, m_trace);
        if (result.verdict == ProbeVerdict::Supply) {
            return ProbeOutcome::Supply;
        }
        return result.verdict == ProbeVerdict::Refused &&
                       result.failure.problem == PortProblem::Busy
                   ? ProbeOutcome::Busy
                   : ProbeOutcome::NotSupply;
    });
    if (found) {
        Follow(*found);
    }
    return found;
}

std::vector<SerialPortEntry> ReturnWatch::Candidates() const {
    // A supply named by its device comes back there or not at all; one named by its port, or
    // searched for, may come back on any listed port.
    if (m_choice.device) {
        return {ChosenPort(m_choice, {})};
    }
    return ListSerialPorts();
}

} // namespace pelmora::server
