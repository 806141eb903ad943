#include "cli/port_survey.h"

#include "cli/exit_status.h"
#include "cli/json_text.h"
#include "link/escaped_bytes.h"

#include <algorithm>

namespace pelmora::cli {

namespace {

constexpr const char* kColumnGap = "  ";

std::string UsbText(const UsbDetails& usb) {
    std::string text = "usb " + usb.vendorId + ":" + usb.productId;
    const auto add = [&text](const char* label, const std::string& value) {
        if (!value.empty()) {
            text += std::string(" ") + label + "\"" + EscapeBytes(value) + "\"";
        }
    };
    add("", usb.manufacturer);
    add("", usb.product);
    add("serial ", usb.serial);
    return text;
}

std::string OutcomeText(const ProbeResult& probe) {
    switch (probe.verdict) {
    case ProbeVerdict::Supply:
    case ProbeVerdict::NoAnswer:
        return OutcomeWord(probe);
    case ProbeVerdict::OtherDevice:
        return OutcomeWord(probe) + ": answered '" + EscapeBytes(probe.reply.bytes) + "'";
    case ProbeVerdict::Refused:
        break;
    }
    return DescribeOpenFailure(probe.failure);
}

// A JSON object of name and value pairs, the values already in JSON. Built by appending: g++ 12
// warns falsely about "{" + a temporary string.
class JsonObject {
public:
    JsonObject& Field(const char* name, const std::string& value) {
        m_text += m_text.empty() ? '{' : ',';
        m_text += JsonString(name);
        m_text += ':';
        m_text += value;
        return *this;
    }
    std::string Text() const { return m_text.empty() ? std::string("{}") : m_text + '}'; }

private:
    std::string m_text;
};

std::string UsbJson(const UsbDetails& usb) {
    return JsonObject()
        .Field("vendor_id", JsonString(usb.vendorId))
        .Field("product_id", JsonString(usb.productId))
        .Field("manufacturer", JsonString(usb.manufacturer))
        .Field("product", JsonString(usb.product))
        .Field("serial", JsonString(usb.serial))
        .Text();
}

std::string ReportJson(const PortReport& report) {
    const ProbeResult& probe = report.probe;
    JsonObject object;
    object.Field("name", JsonString(report.port.name))
        .Field("device", JsonString(report.port.devicePath.string()))
        .Field("usb", report.usb ? UsbJson(*report.usb) : "null")
        .Field("outcome", JsonString(OutcomeWord(probe)))
        .Field("detail", JsonString(OutcomeText(probe)));
    if (probe.verdict == ProbeVerdict::Supply || probe.verdict == ProbeVerdict::OtherDevice) {
        object.Field("reply", JsonString(probe.reply.bytes));
    }
    const OpenFailure& failure = probe.failure;
    if (!failure.deviceGroup.empty()) {
        object.Field("group", JsonString(failure.deviceGroup));
        if (IsUserDeviceGroup(failure.deviceGroup)) {
            object.Field("fix", JsonString(GroupFixCommand(failure.deviceGroup)));
        }
    }
    if (failure.holder) {
        object.Field("holder", JsonObject()
                                   .Field("pid", std::to_string(failure.holder->pid))
                                   .Field("name", JsonString(failure.holder->name))
                                   .Text());
    }
    return object.Text();
}

} // namespace

std::vector<PortReport> SurveyPorts(const std::vector<SerialPortEntry>& ports, int waitMs,
                                    ByteTrace& trace, const UsbLookup& usbLookup) {
    std::vector<PortReport> reports;
    reports.reserve(ports.size());
    for (const auto& port : ports) {
        CSerialChannel channel;
        PortReport report{port, usbLookup(port.devicePath),
                          ProbePort(channel, port, waitMs, trace)};
        channel.Close();
        reports.push_back(std::move(report));
    }
    return reports;
}

std::string OutcomeWord(const ProbeResult& probe) {
    switch (probe.verdict) {
    case ProbeVerdict::Supply:
        return "supply";
    case ProbeVerdict::OtherDevice:
        return "other device";
    case ProbeVerdict::NoAnswer:
        return "no answer";
    case ProbeVerdict::Refused:
        break;
    }
    switch (probe.failure.problem) {
    case PortProblem::PermissionDenied:
        return "permission denied";
    case PortProblem::Busy:
        return "busy";
    case PortProblem::NotTerminal:
    case PortProblem::NotCharacterDevice:
        return "not a terminal";
    case PortProblem::Missing:
    case PortProblem::NotListed:
        return "missing";
    default:
        return "cannot open";
    }
}

std::string FormatReportLine(const PortReport& report) {
    std::string line;
    if (!report.port.name.empty()) {
        line += report.port.name + kColumnGap;
    }
    line += report.port.devicePath.string() + kColumnGap;
    if (report.usb) {
        line += UsbText(*report.usb) + kColumnGap;
    }
    return line + OutcomeText(report.probe);
}

std::string FormatReportsJson(const std::vector<PortReport>& reports) {
    std::string array = "[";
    for (const auto& report : reports) {
        array += (array.size() > 1 ? ",\n " : "") + ReportJson(report);
    }
    return array + "]";
}

int SurveyExitStatus(const std::vector<PortReport>& reports) {
    const auto any = [&reports](auto condition) {
        return std::any_of(reports.begin(), reports.end(), condition);
    };
    if (any([](const PortReport& r) { return r.probe.verdict == ProbeVerdict::Supply; })) {
        return kExitSuccess;
    }
    if (any([](const PortReport& r) {
            return r.probe.verdict == ProbeVerdict::Refused &&
                   IsPortAccessProblem(r.probe.failure.problem);
        })) {
        return kExitPortAccess;
    }
    return kExitNoSupply;
}

} // namespace pelmora::cli
