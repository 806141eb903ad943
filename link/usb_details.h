#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelmora {

// What a USB device says about itself; an attribute it does not give stays empty.
struct UsbDetails {
    // Four hexadecimal digits each, as the system shows them, e.g. "2e8a".
    std::string vendorId;
    std::string productId;
    std::string manufacturer;
    std::string product;
    std::string serial;
};

// The USB device behind a serial device, looked up in a tree laid out like /sys/class/tty under
// the device's name (e.g. "ttyACM0" for /dev/ttyACM0), or under the name of the device a link
// such as /dev/serial/by-id/... leads to. Empty when it is no USB device.
std::optional<UsbDetails> ReadUsbDetails(const std::filesystem::path& ttyClassDir,
                                         const std::filesystem::path& device);

// The same on this machine.
std::optional<UsbDetails> UsbDetailsOfDevice(const std::filesystem::path& device);

} // namespace pelmora
