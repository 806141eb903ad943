#pragma once

#include "link/byte_trace.h"
#include "link/open_failure.h"
#include "link/port_list.h"
#include "link/serial_channel.h"
#include "link/supply_line.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pelmora {

// How messages call a port: "COM3 (/dev/ttyACM0)", or the bare path of a device given by path.
std::string PortLabel(const SerialPortEntry& port);

// What to do when no port is listed at all.
std::string NoPortsListed();

// The listed ports. Throws SupplyError (BadPortList) when the port list variable is set but
// lists no port: that is a mistake to put right, not a machine without serial ports.
std::vector<SerialPortEntry> ListedPorts();

enum class ProbeVerdict {
    // It sent the identity reply; the channel is left open on it.
    Supply,
    // It answered something else.
    OtherDevice,
    NoAnswer,
    // It could not be opened for our exclusive use, so nothing was sent to it.
    Refused,
};

struct ProbeResult {
    ProbeVerdict verdict = ProbeVerdict::NoAnswer;
    // Why it was refused.
    OpenFailure failure;
    // What it answered.
    Reply reply;
};

// Opens the port for our exclusive use (refused when another program holds it), lets it
// settle, and asks who it is. The channel is left open only on the supply.
ProbeResult ProbePort(CSerialChannel& channel, const SerialPortEntry& port, int waitMs,
                      ByteTrace& trace);

// The refusal as one line with what to do about it.
std::string ExplainRefusal(const SerialPortEntry& port, const OpenFailure& failure);

// Which port the user asked for: by its name in the port list, or by its device path; neither
// for a search of the listed ports.
struct PortChoice {
    std::optional<std::string> name;
    std::optional<std::filesystem::path> device;
};

// The port the choice names, by its listed name (in any case) or as a device of its own.
// Throws SupplyError when no listed port has that name.
SerialPortEntry ChosenPort(const PortChoice& choice, const std::vector<SerialPortEntry>& listed);

struct FoundSupply {
    SerialPortEntry port;
    std::string identity;
};

// Opens the supply on the chosen port, or on the first of the listed ports numbered 0 to 99
// that identifies itself, in the order of their numbers. Throws SupplyError: PortAccess when
// the chosen port, or with no supply found any listed port, could not be used; else NoSupply.
FoundSupply OpenSupply(CSerialChannel& channel, const PortChoice& choice, int waitMs,
                       ByteTrace& trace);

} // namespace pelmora
