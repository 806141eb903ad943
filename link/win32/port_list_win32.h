#pragma once

#include "link/port_list.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

namespace pelmora {

// Where the system lists its serial ports under HKEY_LOCAL_MACHINE: one value per port, named
// after the driver's device, whose data is the port's name, e.g. "COM5".
inline constexpr const char* kSerialCommKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
// How a port's name becomes a path that opens it: "COM12" gives "\\.\COM12".
inline constexpr std::string_view kDeviceNamespace = "\\\\.\\";

// The ports an open key lists, in the order of their numbers: each text value (REG_SZ) gives an
// entry named by its data; other values are passed over, and a value whose data cannot be read
// gives an empty name.
std::vector<SerialPortEntry> ReadPortListKey(HKEY key);

// The port's name in a device path, e.g. "COM5" for "\\.\COM5"; a bare name stays as it is.
std::string PortNameOfDevice(const std::filesystem::path& device);

// Whether the path names a device by itself ("\\.\COM5", "COM5"), rather than a file or
// folder of a drive, or something below a device such as a pipe ("\\.\pipe\name").
bool NamesADevice(const std::filesystem::path& device);

} // namespace pelmora
