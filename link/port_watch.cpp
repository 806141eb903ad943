#include "link/port_watch.h"

namespace pelmora {

void PortWatch::Start(const std::vector<SerialPortEntry>& listed,
                      const std::vector<SerialPortEntry>& refusedAsBusy) {
    m_seen.clear();
    m_busy.clear();
    Look(listed);
    for (const auto& entry : refusedAsBusy) {
        NoteTried(entry, true);
    }
}

std::vector<SerialPortEntry> PortWatch::Look(const std::vector<SerialPortEntry>& listed) {
    std::set<std::string> present;
    std::vector<SerialPortEntry> toTry;
    for (const auto& entry : listed) {
        const auto identity = DeviceIdentity(entry.devicePath);
        if (!identity || !present.insert(*identity).second) {
            continue;
        }
        if (!m_seen.contains(*identity) || m_busy.contains(*identity)) {
            toTry.push_back(entry);
        }
    }
    // A busy device that went away is a new one when it comes back.
    std::erase_if(m_busy, [&](const std::string& identity) { return !present.contains(identity); });
    m_seen = std::move(present);
    return toTry;
}

void PortWatch::NoteTried(const SerialPortEntry& entry, bool refusedAsBusy) {
    const auto identity = DeviceIdentity(entry.devicePath);
    if (!identity) {
        return;
    }
    if (refusedAsBusy) {
        m_busy.insert(*identity);
    } else {
        m_busy.erase(*identity);
    }
}

} // namespace pelmora
