#pragma once

#include "port_list.h"

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
// that stays there is never asked again and again who it is.
class PortWatch {
public:
    // The devices there now count as seen: only later arrivals are reported.
    void Start(const std::vector<SerialPortEntry>& listed);
    // The listed entries whose device is there now and was not at the previous look, in list
    // order.
    std::vector<SerialPortEntry> Look(const std::vector<SerialPortEntry>& listed);

private:
    std::set<std::string> m_seen;
};

} // namespace pelmora
