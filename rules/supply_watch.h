#pragma once

#include "link/port_list.h"
#include "link/port_watch.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

namespace pelmora {

// How asking one listed device who it is went.
enum class ProbeOutcome {
    // It is the supply; the prober keeps it open.
    Supply,
    // Something else answered, nothing did, or it could not be opened for a lasting reason.
    NotSupply,
    // Another program held it, so it was not asked: it is asked again at the next look.
    Busy,
};

// Finds a supply that went away again: at each look, the devices that have appeared since the
// previous one, and those another program held, are asked who they are, the supply's own
// device first. Each caller asks in its own way (its own channel, wait and log) through the
// probe it gives.
class SupplyWatch {
public:
    using Probe = std::function<ProbeOutcome(const SerialPortEntry&)>;

    // Where the supply is found: the name the system keeps for its device whatever number it
    // gets (StableDeviceName, taken while the device is there), or none. Kept across watches.
    void FollowSupply(std::optional<std::filesystem::path> stableName);
    // The devices listed now count as seen, but for those refused as busy.
    void Start(const std::vector<SerialPortEntry>& listed,
               const std::vector<SerialPortEntry>& refusedAsBusy = {});
    // One look at the listed ports: the entry the supply answered on, or none. Once the supply
    // answers, the devices after it are not asked.
    std::optional<SerialPortEntry> Look(const std::vector<SerialPortEntry>& listed,
                                        const Probe& probe);

private:
    PortWatch m_ports;
    std::optional<std::filesystem::path> m_stableName;
};

} // namespace pelmora
