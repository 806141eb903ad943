#include "link/port_probe.h"

#include "link/reply_problem.h"
#include "link/supply_error.h"
#include "link/supply_protocol.h"
#include "link/supply_requests.h"
#include "link/supply_timing.h"

#include <algorithm>
#include <cctype>
#include <thread>

namespace pelmora {

namespace {

constexpr const char* kPortsHint = "'pelmora-cli ports' tells what answers on each port";

bool SameName(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// The listed ports the search tries, in the order of their numbers; the first entry of each
// number stands for it.
std::vector<SerialPortEntry> SearchOrder(const std::vector<SerialPortEntry>& listed) {
    std::vector<SerialPortEntry> order;
    for (int number = kLowestPortNumber; number <= kHighestPortNumber; ++number) {
        const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& entry) {
            return PortNumberOf(entry.name) == number;
        });
        if (found != listed.end()) {
            order.push_back(*found);
        }
    }
    return order;
}

std::string DescribeProbe(const SerialPortEntry& port, const ProbeResult& result, int waitMs) {
    if (result.verdict == ProbeVerdict::Refused) {
        return ExplainRefusal(port, result.failure);
    }
    return DescribeBadReply(PortLabel(port), waitMs, protocol::kIdentityRequest, result.reply);
}

} // namespace

SerialPortEntry ChosenPort(const PortChoice& choice, const std::vector<SerialPortEntry>& listed) {
    if (choice.device) {
        return {std::string(), *choice.device};
    }
    const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& entry) {
        return SameName(entry.name, *choice.name);
    });
    if (found != listed.end()) {
        return *found;
    }
    std::string names;
    for (const auto& entry : listed) {
        names += (names.empty() ? "" : ", ") + entry.name;
    }
    throw SupplyError(SupplyFailure::NoSupply, *choice.name + " is not a listed port (listed: " +
                                                   (names.empty() ? "none" : names) + "); " +
                                                   kPortsHint);
}

std::string NoPortsListed() {
    return std::string("no serial ports are listed; connect the supply, or name its device with "
                       "--device or ") +
           kPortsVariable;
}

std::vector<SerialPortEntry> ListedPorts() {
    if (const auto malformed = MalformedPortsVariable()) {
        throw SupplyError(SupplyFailure::BadPortList, DescribeMalformedPortsVariable(*malformed));
    }
    return ListSerialPorts();
}

std::string PortLabel(const SerialPortEntry& port) {
    if (port.name.empty()) {
        return port.devicePath.string();
    }
    return port.name + " (" + port.devicePath.string() + ")";
}

ProbeResult ProbePort(CSerialChannel& channel, const SerialPortEntry& port, int waitMs,
                      ByteTrace& trace) {
    ProbeResult result;
    const std::string label = PortLabel(port);
    if (!channel.OpenDevice(port.devicePath, protocol::kBaudRate)) {
        result.verdict = ProbeVerdict::Refused;
        result.failure = channel.LastOpenFailure();
        trace.Note(label, DescribeOpenFailure(result.failure));
        return result;
    }
    trace.Note(label, "opened");
    std::this_thread::sleep_for(pelmora::timing::kSearchDelay);
    SupplyLine line(channel, label, waitMs, trace);
    result.reply = AskIdentity(line);
    if (result.reply.end == ReplyEnd::Complete && protocol::IsIdentityReply(result.reply.bytes)) {
        result.verdict = ProbeVerdict::Supply;
        return result;
    }
    channel.Close();
    trace.Note(label, "closed");
    if (result.reply.end == ReplyEnd::LineGone) {
        result.verdict = ProbeVerdict::Refused;
        result.failure.problem = PortProblem::Missing;
    } else {
        result.verdict =
            result.reply.bytes.empty() ? ProbeVerdict::NoAnswer : ProbeVerdict::OtherDevice;
    }
    return result;
}

std::string ExplainRefusal(const SerialPortEntry& port, const OpenFailure& failure) {
    std::string text = PortLabel(port) + ": " + DescribeOpenFailure(failure);
    switch (failure.problem) {
    case PortProblem::Busy:
        if (failure.leftExclusive) {
            return text + "; " + kLeftExclusiveAdvice;
        }
        return text + "; end that program, or wait until it lets the port go";
    case PortProblem::Missing:
    case PortProblem::NotListed:
        return text + "; check that the supply is plugged in";
    case PortProblem::NotTerminal:
    case PortProblem::NotCharacterDevice:
        return text + "; name the supply's serial device instead";
    case PortProblem::PermissionDenied:
        if (failure.deviceGroup.empty()) {
            return text + "; ask the machine's administrator for access to the device";
        }
        return text;
    default:
        return text;
    }
}

FoundSupply OpenSupply(CSerialChannel& channel, const PortChoice& choice, int waitMs,
                       ByteTrace& trace) {
    if (choice.name || choice.device) {
        // A port given by its device needs no list, and is not kept from by a broken one.
        const SerialPortEntry port =
            ChosenPort(choice, choice.device ? std::vector<SerialPortEntry>() : ListedPorts());
        const ProbeResult result = ProbePort(channel, port, waitMs, trace);
        if (result.verdict == ProbeVerdict::Supply) {
            return {port, result.reply.bytes};
        }
        const bool access =
            result.verdict == ProbeVerdict::Refused && IsPortAccessProblem(result.failure.problem);
        throw SupplyError(access ? SupplyFailure::PortAccess : SupplyFailure::NoSupply,
                          DescribeProbe(port, result, waitMs));
    }

    const auto order = SearchOrder(ListedPorts());
    if (order.empty()) {
        throw SupplyError(SupplyFailure::NoSupply, NoPortsListed());
    }
    std::string reasons;
    bool refused = false;
    for (const auto& port : order) {
        const ProbeResult result = ProbePort(channel, port, waitMs, trace);
        if (result.verdict == ProbeVerdict::Supply) {
            return {port, result.reply.bytes};
        }
        refused = refused || (result.verdict == ProbeVerdict::Refused &&
                              IsPortAccessProblem(result.failure.problem));
        reasons += DescribeProbe(port, result, waitMs) + "; ";
    }
    throw SupplyError(refused ? SupplyFailure::PortAccess : SupplyFailure::NoSupply,
                      "no supply found: " + reasons + "check the supply's USB cable and fuse; " +
                          kPortsHint);
}

} // namespace pelmora
