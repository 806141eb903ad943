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

// The USB device behind a serial device on this machine, as the system records it; empty when
// it is no USB device.
std::optional<UsbDetails> UsbDetailsOfDevice(const std::filesystem::path& device);

} // namespace pelmora
