#include "link/port_list.h"

#include "link/command_input.h"
#include "link/decimal_reading.h"

#include <cstdlib>

namespace pelmora {

namespace {

constexpr char kEntrySeparator = ',';
constexpr char kNameSeparator = '=';

} // namespace

int PortNumberOf(std::string_view entryName) {
    std::string rest;
    rest.reserve(entryName.size());
    while (!entryName.empty()) {
        if (entryName.starts_with(kPortNameWord)) {
            entryName.remove_prefix(kPortNameWord.size());
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

std::vector<SerialPortEntry> ListSerialPorts() {
    if (const char* listed = std::getenv(kPortsVariable)) {
        return ParsePortsVariable(listed);
    }
    return SystemSerialPorts();
}

std::optional<std::string> MalformedPortsVariable() {
    const char* listed = std::getenv(kPortsVariable);
    if (listed == nullptr || !ParsePortsVariable(listed).empty()) {
        return std::nullopt;
    }
    return std::string(listed);
}

std::string DescribeMalformedPortsVariable(std::string_view value) {
    return std::string(kPortsVariable) + " is malformed: '" + CutInput(value) +
           "' lists no port; its form is " + std::string(kPortsVariableForm) +
           " (unset it for the machine's own serial ports)";
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
