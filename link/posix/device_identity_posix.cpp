#include "link/port_watch.h"

#include <sys/stat.h>
#include <system_error>

namespace pelmora {

namespace {

namespace fs = std::filesystem;

// Where udev keeps names made from a USB device's maker, product and serial number.
constexpr const char* kStableNameDir = "/dev/serial/by-id";

} // namespace

std::optional<std::string> DeviceIdentity(const fs::path& device) {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0 || !S_ISCHR(node.st_mode)) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    // A node made anew gets a new change time, to the system's clock tick, even where its number
    // and its inode come back.
    return target.string() + '|' + std::to_string(node.st_rdev) + '|' +
           std::to_string(node.st_ino) + '|' + std::to_string(node.st_ctim.tv_sec) + '.' +
           std::to_string(node.st_ctim.tv_nsec);
}

std::optional<fs::path> StableDeviceName(const fs::path& device) {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) {
        return std::nullopt;
    }
    for (const auto& entry : fs::directory_iterator(kStableNameDir, error)) {
        std::error_code linkError;
        if (fs::canonical(entry.path(), linkError) == target && !linkError) {
            return entry.path();
        }
    }
    return std::nullopt;
}

} // namespace pelmora
