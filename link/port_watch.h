#pragma once

#include "link/port_list.h"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace pelmora {

// What tells one device from another at a listed path: where the path leads and the device node
// itself, so that a device that went away and came back, under the same name or not, is a new
// one. Empty when no device is there.
std::optional<std::string> DeviceIdentity(const std::filesystem::path& device);

// The name the system keeps for this device whatever number it gets, such as
// /dev/serial/by-id/usb-Maker_Supply_0001-if00; empty when it has none.
std::optional<std::filesystem::path> StableDeviceName(const std::filesystem::path& device);

// Watches the listed ports for devices that appear, so that only those are probed: a device
// that stays there is never asked again and again who it is. A device that could not be tried
// because another program held it is the exception: it is tried again at every look, until it
// can be opened or goes away.
class PortWatch {
public:
    // The devices there now count as seen: only later arrivals are reported, and those of the
    // present ones that were refused as busy.
    void Start(const std::vector<SerialPortEntry>& listed,
               const std::vector<SerialPortEntry>& refusedAsBusy = {});
    // The listed entries to try now, in list order: those whose device is there now and was
    // not at the previous look, and those whose device was refused as busy when last tried.
    std::vector<SerialPortEntry> Look(const std::vector<SerialPortEntry>& listed);
    // How trying a device that Look reported went: one refused as busy is reported again at the
    // next look; any other is not, until it appears anew.
    void NoteTried(const SerialPortEntry& entry, bool refusedAsBusy);

private:
    std::set<std::string> m_seen;
    std::set<std::string> m_busy;
};

} // namespace pelmora
