#pragma once

#include "link/port_list.h"

#include <filesystem>
#include <vector>

namespace pelmora {

// Serial devices that really exist, from a tree laid out like /sys/class/tty: entries backed by
// hardware (they have a "device" link), minus UART slots the driver registered with no chip
// behind them (a "type" attribute of 0). Devices are named COM1, COM2, ... in the order of their
// kernel names, so the same set of devices always gets the same numbers.
std::vector<SerialPortEntry> ScanSerialDevices(const std::filesystem::path& ttyClassDir,
                                               const std::filesystem::path& deviceDir);

} // namespace pelmora
