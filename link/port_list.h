#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The machine's serial ports as numbered entries. An entry has a name such as "COM3", whose
// number is the name with every "COM" taken out, read as a decimal number.
namespace pelmora {

struct SerialPortEntry {
    std::string name;
    std::filesystem::path devicePath;
};

// The word that entry names are numbered after.
inline constexpr std::string_view kPortNameWord = "COM";

// The numbers the supply search tries, both included.
inline constexpr int kLowestPortNumber = 0;
inline constexpr int kHighestPortNumber = 99;

// When set, replaces the scan: "NAME=PATH" entries separated by commas, e.g.
// "COM1=/dev/ttyUSB0,COM12=/dev/pts/4".
inline constexpr const char* kPortsVariable = "PELMORA_PORTS";

int PortNumberOf(std::string_view entryName);

// Entries without "=" or with an empty path are passed over.
std::vector<SerialPortEntry> ParsePortsVariable(std::string_view value);

// The serial ports the system lists, numbered by the same rule on every platform.
std::vector<SerialPortEntry> SystemSerialPorts();

// The variable's entries when it is set, else the system's list.
std::vector<SerialPortEntry> ListSerialPorts();

// The first listed entry whose number is `number`, and its device.
std::optional<SerialPortEntry> FindPortEntry(int number);
std::optional<std::filesystem::path> FindPortDevice(int number);

} // namespace pelmora
