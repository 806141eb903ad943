#include "link/posix/port_list_posix.h"

#include "link/decimal_reading.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>

namespace pelmora {

namespace {

constexpr int kMaxScannedPorts = kHighestPortNumber;
constexpr const char* kTtyClassDir = "/sys/class/tty";
constexpr const char* kDeviceDir = "/dev";
// serial_core's "type" attribute for a slot with no UART found behind it.
constexpr int kUnknownUartType = 0;

// Kernel names ordered so that ttyS2 comes before ttyS10.
bool KernelNameLess(const std::string& a, const std::string& b) {
    const auto stem = [](const std::string& s) {
        return s.substr(0, s.find_last_not_of("0123456789") + 1);
    };
    const std::string stemA = stem(a);
    const std::string stemB = stem(b);
    if (stemA != stemB) {
        return stemA < stemB;
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

bool IsPlaceholderUart(const std::filesystem::path& ttyEntry) {
    std::ifstream typeFile(ttyEntry / "type");
    if (!typeFile) {
        return false;
    }
    std::string text;
    std::getline(typeFile, text);
    return DecimalReading(text) == kUnknownUartType;
}

} // namespace

std::vector<SerialPortEntry> ScanSerialDevices(const std::filesystem::path& ttyClassDir,
                                               const std::filesystem::path& deviceDir) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(ttyClassDir, error)) {
        std::error_code linkError;
        // Virtual terminals (tty0, console, ptmx...) have no device behind them.
        const auto device = std::filesystem::symlink_status(entry.path() / "device", linkError);
        if (!std::filesystem::exists(device)) {
            continue;
        }
        if (IsPlaceholderUart(entry.path())) {
            continue;
        }
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end(), KernelNameLess);
    if (names.size() > static_cast<std::size_t>(kMaxScannedPorts)) {
        names.resize(kMaxScannedPorts);
    }
    std::vector<SerialPortEntry> entries;
    entries.reserve(names.size());
    int number = 1;
    for (const auto& name : names) {
        entries.push_back(
            {std::string(kPortNameWord) + std::to_string(number++), deviceDir / name});
    }
    return entries;
}

std::vector<SerialPortEntry> SystemSerialPorts() {
    return ScanSerialDevices(kTtyClassDir, kDeviceDir);
}

} // namespace pelmora
