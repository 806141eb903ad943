#include "link/port_watch.h"
#include "link/win32/port_list_win32.h"

#include <array>

namespace pelmora {

namespace {

constexpr DWORD kTargetRoom = 1024;

} // namespace

// A port's name leads to the driver's device while the device is there: a device that went
// away and came back is seen as new once the name has led nowhere in between.
std::optional<std::string> DeviceIdentity(const std::filesystem::path& device) {
    std::array<char, kTargetRoom> target{};
    const DWORD length =
        ::QueryDosDeviceA(PortNameOfDevice(device).c_str(), target.data(), kTargetRoom);
    if (length == 0) {
        return std::nullopt;
    }
    // The first of the NUL-ended targets is the one in use.
    return std::string(target.data());
}

// The system already gives a USB serial device the same name each time it is plugged in, by
// its serial number: there is no other name to keep.
std::optional<std::filesystem::path> StableDeviceName(const std::filesystem::path&) {
    return std::nullopt;
}

} // namespace pelmora
