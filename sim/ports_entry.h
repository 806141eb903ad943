#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora::sim {

// "NAME=PATH": one entry of the port list variable (see port_list.h).
std::string PortsEntry(std::string_view name, const std::filesystem::path& device);

// The variable's new value: `entry` ahead of whatever it held (`existing` may be null), so
// that simulators started one inside another each add their port.
std::string ChainedPortsValue(std::string_view entry, const char* existing);

} // namespace pelmora::sim
