#include "sim/ports_entry.h"

namespace pelmora::sim {

namespace {

// The separators ParsePortsVariable reads.
constexpr char kEntrySeparator = ',';
constexpr char kNameSeparator = '=';

} // namespace

std::string PortsEntry(std::string_view name, const std::filesystem::path& device) {
    return std::string(name) + kNameSeparator + device.string();
}

std::string ChainedPortsValue(std::string_view entry, const char* existing) {
    std::string value(entry);
    if (existing != nullptr && *existing != '\0') {
        value += kEntrySeparator;
        value += existing;
    }
    return value;
}

} // namespace pelmora::sim
