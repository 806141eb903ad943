#include "verbs.h"

#include "cli_error.h"
#include "command_input.h"
#include "escaped_bytes.h"
#include "file_access.h"
#include "json_text.h"
#include "local_time.h"
#include "monitor.h"
#include "port_survey.h"
#include "reply_problem.h"
#include "serve.h"
#include "supply_commands.h"
#include "terminal.h"
#include "voltage_argument.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace pelmora::cli {

namespace {

constexpr const char* kProgram = "pelmora-cli";

// The supply found as the options say, open for as long as this lives.
class Session {
public:
    Session(const CliOptions& options, ByteTrace& trace)
        : m_found(OpenSupply(m_channel, options.port, options.waitMs, trace)),
          m_line(m_channel, PortLabel(m_found.port), options.waitMs, trace) {}

    CSerialChannel& Channel() { return m_channel; }
    const FoundSupply& Found() const { return m_found; }
    SupplyLine& Line() { return m_line; }

private:
    CSerialChannel m_channel;
    FoundSupply m_found;
    SupplyLine m_line;
};

int RunPorts(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    std::vector<SerialPortEntry> ports;
    if (options.port.device) {
        ports = {ChosenPort(options.port, {})};
    } else if (options.port.name) {
        ports = {ChosenPort(options.port, ListedPorts())};
    } else {
        ports = ListedPorts();
    }
    if (ports.empty()) {
        throw CliError(kExitNoSupply, NoPortsListed());
    }
    const auto reports = SurveyPorts(ports, options.waitMs, trace, UsbDetailsOfDevice);
    if (options.json) {
        out << FormatReportsJson(reports) << '\n';
    } else {
        for (const auto& report : reports) {
            out << FormatReportLine(report) << '\n';
        }
    }
    return SurveyExitStatus(reports);
}

int RunIdentify(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    Session session(options, trace);
    out << session.Line().Name() << ": " << EscapeBytes(session.Found().identity) << '\n';
    return kExitSuccess;
}

int RunSwitchOn(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    Session session(options, trace);
    SendVoltages(session.Line(), options.positiveCode, options.negativeCode);
    if (!options.quiet) {
        out << session.Line().Name() << ": output on at +"
            << StepText(options.positiveCode, Rail::Positive) << " / "
            << StepText(options.negativeCode, Rail::Negative) << '\n';
    }
    return kExitSuccess;
}

int RunOff(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    Session session(options, trace);
    SendReset(session.Line());
    if (!options.quiet) {
        out << session.Line().Name() << ": output off\n";
    }
    return kExitSuccess;
}

int RunRead(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    Session session(options, trace);
    const auto when = std::chrono::system_clock::now();
    const CurrentPoll poll = PollCurrents(session.Line());
    if (!poll.reading) {
        throw CliError(kExitNoSupply, DescribeBadReply(session.Line().Name(), options.waitMs,
                                                       protocol::kCurrentRequest, poll.reply));
    }
    const auto& port = session.Found().port;
    if (options.json) {
        out << "{\"port\":" << JsonString(port.name)
            << ",\"device\":" << JsonString(port.devicePath.string())
            << ",\"time\":" << JsonString(FormatLocalTimestamp(when))
            << ",\"pos_mA\":" << poll.reading->positiveMa
            << ",\"neg_mA\":" << poll.reading->negativeMa << "}\n";
    } else {
        out << "pos_mA=" << poll.reading->positiveMa << " neg_mA=" << poll.reading->negativeMa
            << '\n';
    }
    return kExitSuccess;
}

// True when the supply took the reset command.
bool SwitchOff(SupplyLine& line) {
    try {
        SendReset(line);
        return true;
    } catch (const CliError&) {
        return false;
    }
}

int RunMonitorVerb(const CliOptions& options, std::ostream& out, std::ostream& err,
                   ByteTrace& trace) {
    // A path that cannot be written is a mistake on the command line, found before any port is
    // touched; the file itself is left alone until the supply has answered, so that a run that
    // does not reach it keeps an earlier recording as it was.
    if (options.csvFile) {
        if (const auto problem = WhyNotWritable(*options.csvFile)) {
            throw CliError(kExitUsage, "cannot write " + options.csvFile->string() + ": " +
                                           *problem + "; nothing was sent");
        }
    }
    const StopSignals stop;
    Session session(options, trace);
    std::ofstream file;
    if (options.csvFile) {
        file.open(*options.csvFile, std::ios::out | std::ios::trunc);
        if (!file) {
            throw CliError(kExitNoSupply, "cannot write " + options.csvFile->string() + ": " +
                                              std::strerror(errno) +
                                              "; the output was left as it was");
        }
    }
    std::ostream& csv = options.csvFile ? file : out;
    if (!options.leaveOn) {
        // A crash or an exit from anywhere must not leave the output on either.
        session.Channel().SetLastWords(protocol::kResetCommand);
    }
    StatusLine status(err, !options.quiet && !options.verbose && StandardErrorIsTerminal());
    const MonitorPlan plan{options.interval, options.duration, options.samples,
                           options.stopOnError};
    const MonitorResult result = RunMonitor(session.Line(), plan, csv, status, options.quiet, stop);
    status.Finish();
    if (result.end == MonitorEnd::Planned) {
        return kExitSuccess;
    }
    const bool switchedOff = !options.leaveOn && SwitchOff(session.Line());
    const std::string outcome = options.leaveOn ? "the output was left as it was (--leave-on)"
                                : switchedOff   ? "the output was switched off"
                                                : "the output could not be switched off";
    switch (result.end) {
    case MonitorEnd::Interrupted: {
        const std::string stopped = std::string("stopped by ") + stop.SignalName() + " after " +
                                    std::to_string(result.samples) + " sample(s); " + outcome;
        // A supply that may still be on is not a success, even when the stop was asked for.
        if (!options.leaveOn && !switchedOff) {
            throw CliError(kExitNoSupply, stopped);
        }
        if (!options.quiet) {
            err << kProgram << ": " << stopped << '\n';
        }
        return kExitSuccess;
    }
    case MonitorEnd::OutputFailed:
        throw CliError(kExitNoSupply, result.problem + "; stopped, and " + outcome);
    case MonitorEnd::StoppedOnError:
        throw CliError(kExitNoSupply,
                       result.problem + "; stopped (--stop-on-error), and " + outcome);
    case MonitorEnd::PortLost:
    case MonitorEnd::Planned:
        break;
    }
    throw CliError(kExitNoSupply, result.problem + "; " + outcome);
}

int Dispatch(const CliOptions& options, std::ostream& out, std::ostream& err, ByteTrace& trace) {
    switch (options.verb) {
    case Verb::Ports:
        return RunPorts(options, out, trace);
    case Verb::Identify:
        return RunIdentify(options, out, trace);
    case Verb::Set:
    case Verb::On:
        return RunSwitchOn(options, out, trace);
    case Verb::Off:
        return RunOff(options, out, trace);
    case Verb::Read:
        return RunRead(options, out, trace);
    case Verb::Monitor:
        return RunMonitorVerb(options, out, err, trace);
    case Verb::Serve:
        return RunServe(options, out, err);
    }
    return kExitUsage;
}

} // namespace

int RunVerb(const CliOptions& options, std::ostream& out, std::ostream& err) {
    ByteTrace trace(err, options.verbose);
    try {
        const int status = Dispatch(options, out, err, trace);
        // What a verb prints reaches the system when the stream is flushed: a full disk or a
        // closed pipe shows only now, and a result that nobody got is no success.
        errno = 0;
        if (!(out << std::flush)) {
            throw CliError(kExitNoSupply,
                           std::string("cannot write to standard output") +
                               (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : ""));
        }
        return status;
    } catch (const CliError& error) {
        // The port and the file named on the command line are quoted back in the messages.
        const std::string name = options.port.name.value_or("");
        const std::string device = options.port.device ? options.port.device->string() : "";
        const std::string csvFile = options.csvFile ? options.csvFile->string() : "";
        const std::string_view inputs[] = {name, device, csvFile};
        err << kProgram << ": " << CutInputsIn(error.what(), inputs) << '\n';
        return error.ExitStatus();
    }
}

} // namespace pelmora::cli
