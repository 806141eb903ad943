#include "rules/supply_watch.h"

#include <algorithm>

namespace pelmora {

void SupplyWatch::FollowSupply(std::optional<std::filesystem::path> stableName) {
    m_stableName = std::move(stableName);
}

void SupplyWatch::Start(const std::vector<SerialPortEntry>& listed,
                        const std::vector<SerialPortEntry>& refusedAsBusy) {
    m_ports.Start(listed, refusedAsBusy);
}

std::optional<SerialPortEntry> SupplyWatch::Look(const std::vector<SerialPortEntry>& listed,
                                                 const Probe& probe) {
    auto toTry = m_ports.Look(listed);
    // The supply's own device first, recognised by its lasting name, whatever number it has now.
    if (m_stableName) {
        const auto stableTarget = DeviceIdentity(*m_stableName);
        std::stable_partition(toTry.begin(), toTry.end(), [&](const auto& entry) {
            return stableTarget && DeviceIdentity(entry.devicePath) == stableTarget;
        });
    }
    for (const auto& entry : toTry) {
        const ProbeOutcome outcome = probe(entry);
        m_ports.NoteTried(entry, outcome == ProbeOutcome::Busy);
        if (outcome == ProbeOutcome::Supply) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace pelmora
