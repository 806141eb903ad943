#include "port_survey.h"

#include "escaped_bytes.h"
#include "exit_status.h"
#include "json_text.h"

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

std::string JsonField(const char* name, const std::string& value) {
    return JsonString(name) + ":" + value;
}

std::string UsbJson(const UsbDetails& usb) {
    return "{" + JsonField("vendor_id", JsonString(usb.vendorId)) + "," +
           JsonField("product_id", JsonString(usb.productId)) + "," +
           JsonField("manufacturer", JsonString(usb.manufacturer)) + "," +
           JsonField("product", JsonString(usb.product)) + "," +
           JsonField("serial", JsonString(usb.serial)) + "}";
}

std::string ReportJson(const PortReport& report) {
    const ProbeResult& probe = report.probe;
    std::string object = "{" + JsonField("name", JsonString(report.port.name)) + "," +
                         JsonField("device", JsonString(report.port.devicePath.string())) + "," +
                         JsonField("usb", report.usb ? UsbJson(*report.usb) : "null") + "," +
                         JsonField("outcome", JsonString(OutcomeWord(probe))) + "," +
                         JsonField("detail", JsonString(OutcomeText(probe)));
    if (probe.verdict == ProbeVerdict::Supply || probe.verdict == ProbeVerdict::OtherDevice) {
        object += "," + JsonField("reply", JsonString(probe.reply.bytes));
    }
    const OpenFailure& failure = probe.failure;
    if (!failure.deviceGroup.empty()) {
        object += "," + JsonField("group", JsonString(failure.deviceGroup)) + "," +
                  JsonField("fix", JsonString(GroupFixCommand(failure.deviceGroup)));
    }
    if (failure.holder) {
        object +=
            "," +
            JsonField("holder", "{" + JsonField("pid", std::to_string(failure.holder->pid)) + "," +
                                    JsonField("name", JsonString(failure.holder->name)) + "}");
    }
    return object + "}";
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
