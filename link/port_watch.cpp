#include "port_watch.h"

namespace pelmora {

void PortWatch::Start(const std::vector<SerialPortEntry>& listed) {
    m_seen.clear();
    Look(listed);
}

std::vector<SerialPortEntry> PortWatch::Look(const std::vector<SerialPortEntry>& listed) {
    std::set<std::string> present;
    std::vector<SerialPortEntry> appeared;
    for (const auto& entry : listed) {
        const auto identity = DeviceIdentity(entry.devicePath);
        if (!identity || !present.insert(*identity).second) {
            continue;
        }
        if (!m_seen.contains(*identity)) {
            appeared.push_back(entry);
        }
    }
    m_seen = std::move(present);
    return appeared;
}

} // namespace pelmora
