#pragma once

#include "link/usb_details.h"

#include <filesystem>
#include <optional>

namespace pelmora {

// The USB device behind a serial device, looked up in a tree laid out like /sys/class/tty under
// the device's name (e.g. "ttyACM0" for /dev/ttyACM0), or under the name of the device a link
// such as /dev/serial/by-id/... leads to. Empty when it is no USB device.
std::optional<UsbDetails> ReadUsbDetails(const std::filesystem::path& ttyClassDir,
                                         const std::filesystem::path& device);

} // namespace pelmora
