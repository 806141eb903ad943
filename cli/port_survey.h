#pragma once

#include "link/byte_trace.h"
#include "link/port_list.h"
#include "link/port_probe.h"
#include "link/usb_details.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora::cli {

struct PortReport {
    SerialPortEntry port;
    std::optional<UsbDetails> usb;
    ProbeResult probe;
};

using UsbLookup = std::function<std::optional<UsbDetails>(const std::filesystem::path& device)>;

// Probes each port in turn and closes it again; nothing is sent to a port that could not be
// opened for our exclusive use.
std::vector<PortReport> SurveyPorts(const std::vector<SerialPortEntry>& ports, int waitMs,
                                    ByteTrace& trace, const UsbLookup& usbLookup);

// The outcome in a word or two: "supply", "other device", "no answer", "permission denied",
// "busy", "not a terminal", "missing", or "cannot open".
std::string OutcomeWord(const ProbeResult& probe);

// One line per port: name, device, the USB device's ids, manufacturer, product and serial when
// it is one, and the outcome with its details (what another device answered, the group to join,
// who holds the port).
std::string FormatReportLine(const PortReport& report);

// One JSON object per port, in an array.
std::string FormatReportsJson(const std::vector<PortReport>& reports);

// The exit status the survey stands for: success when a supply is among the ports.
int SurveyExitStatus(const std::vector<PortReport>& reports);

} // namespace pelmora::cli
