#include "port_list.h"

#include "decimal_reading.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace pelmora {

namespace {

constexpr std::string_view kComWord = "COM";
constexpr char kEntrySeparator = ',';
constexpr char kNameSeparator = '=';
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

int PortNumberOf(std::string_view entryName) {
    std::string rest;
    rest.reserve(entryName.size());
    while (!entryName.empty()) {
        if (entryName.starts_with(kComWord)) {
            entryName.remove_prefix(kComWord.size());
        } else {
            rest += entryName.front();
            entryName.remove_prefix(1);
        }
    }
    return DecimalReading(rest);
}

std::vector<SerialPortEntry> ParsePortsVariable(std::string_view value) {
    std::vector<SerialPortEntry> entries;
    while (!value.empty()) {
        const std::size_t end = value.find(kEntrySeparator);
        const std::string_view item = value.substr(0, end);
        value = end == std::string_view::npos ? std::string_view{} : value.substr(end + 1);
        const std::size_t split = item.find(kNameSeparator);
        if (split == std::string_view::npos || split + 1 == item.size()) {
            continue;
        }
        entries.push_back(
            {std::string(item.substr(0, split)), std::filesystem::path(item.substr(split + 1))});
    }
    return entries;
}

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
        entries.push_back({std::string(kComWord) + std::to_string(number++), deviceDir / name});
    }
    return entries;
}

std::vector<SerialPortEntry> ListSerialPorts() {
    if (const char* listed = std::getenv(kPortsVariable)) {
        return ParsePortsVariable(listed);
    }
    return ScanSerialDevices(kTtyClassDir, kDeviceDir);
}

std::optional<SerialPortEntry> FindPortEntry(int number) {
    for (auto& entry : ListSerialPorts()) {
        if (PortNumberOf(entry.name) == number) {
            return std::move(entry);
        }
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> FindPortDevice(int number) {
    auto entry = FindPortEntry(number);
    if (!entry) {
        return std::nullopt;
    }
    return std::move(entry->devicePath);
}

} // namespace pelmora
