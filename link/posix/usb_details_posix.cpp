#include "link/posix/usb_details_posix.h"

#include <fstream>
#include <system_error>

namespace pelmora {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTtyClassDir = "/sys/class/tty";
// A serial function sits on an interface, which sits on the device: a few levels are enough,
// and the bound keeps a strange tree from being walked to its root.
constexpr int kMaxLevelsUp = 4;

std::string Attribute(const fs::path& dir, const char* name) {
    std::ifstream file(dir / name);
    std::string value;
    std::getline(file, value);
    return value;
}

std::optional<UsbDetails> DetailsOf(const fs::path& ttyClassDir, const fs::path& kernelName) {
    std::error_code error;
    fs::path dir = fs::canonical(ttyClassDir / kernelName / "device", error);
    if (error) {
        return std::nullopt;
    }
    for (int level = 0; level <= kMaxLevelsUp && dir.has_relative_path(); ++level) {
        if (fs::exists(dir / "idVendor", error)) {
            return UsbDetails{Attribute(dir, "idVendor"), Attribute(dir, "idProduct"),
                              Attribute(dir, "manufacturer"), Attribute(dir, "product"),
                              Attribute(dir, "serial")};
        }
        dir = dir.parent_path();
    }
    return std::nullopt;
}

} // namespace

std::optional<UsbDetails> ReadUsbDetails(const fs::path& ttyClassDir, const fs::path& device) {
    if (auto details = DetailsOf(ttyClassDir, device.filename())) {
        return details;
    }
    std::error_code error;
    const fs::path resolved = fs::canonical(device, error);
    if (error || resolved.filename() == device.filename()) {
        return std::nullopt;
    }
    return DetailsOf(ttyClassDir, resolved.filename());
}

std::optional<UsbDetails> UsbDetailsOfDevice(const fs::path& device) {
    return ReadUsbDetails(kTtyClassDir, device);
}

} // namespace pelmora
