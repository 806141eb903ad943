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
// The variable's form, as messages show it.
inline constexpr std::string_view kPortsVariableForm =
    "NAME=PATH[,NAME=PATH]..., e.g. COM3=/dev/ttyACM0";

int PortNumberOf(std::string_view entryName);

// Entries without "=" or with an empty path are passed over.
std::vector<SerialPortEntry> ParsePortsVariable(std::string_view value);

// The serial ports the system lists, numbered by the same rule on every platform.
std::vector<SerialPortEntry> SystemSerialPorts();

// The variable's entries when it is set, else the system's list.
std::vector<SerialPortEntry> ListSerialPorts();

// The variable's value when it is set but lists no usable entry (empty too): the list is then
// empty through a mistake, which is not the same as a machine without serial ports.
std::optional<std::string> MalformedPortsVariable();

// One line that says the variable is malformed, with its value and its form.
std::string DescribeMalformedPortsVariable(std::string_view value);

// The first listed entry whose number is `number`, and its device.
std::optional<SerialPortEntry> FindPortEntry(int number);
std::optional<std::filesystem::path> FindPortDevice(int number);

} // namespace pelmora
