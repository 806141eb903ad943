#include "cli/verbs.h"

#include "cli/cli_error.h"
#include "cli/controlled_supply.h"
#include "cli/file_access.h"
#include "cli/json_text.h"
#include "cli/monitor.h"
#include "cli/port_survey.h"
#include "cli/remote_supply.h"
#include "cli/sequence_runner.h"
#include "cli/serve.h"
#include "cli/supply_access.h"
#include "cli/terminal.h"
#include "cli/voltage_argument.h"
#include "link/command_input.h"
#include "link/escaped_bytes.h"
#include "link/local_time.h"
#include "link/reply_problem.h"
#include "link/supply_requests.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <streambuf>

namespace pelmora::cli {

namespace {

constexpr const char* kProgram = "pelmora-cli";

// The supply found on a port of this machine as the options say, open for as long as this
// lives.
class PortSupply : public SupplyAccess {
public:
    PortSupply(const CliOptions& options, ByteTrace& trace)
        : m_found(OpenSupply(m_channel, options.port, options.waitMs, trace)),
          m_line(m_channel, PortLabel(m_found.port), options.waitMs, trace) {}

    const std::string& Name() const override { return m_line.Name(); }
    std::string Identity() override { return EscapeBytes(m_found.identity); }
    void SwitchOn(std::string_view positiveCode, std::string_view negativeCode) override {
        try {
            SendVoltages(m_line, positiveCode, negativeCode);
        } catch (const SupplyError& error) {
            throw FromSupplyError(error);
        }
    }
    void SwitchOff() override {
        try {
            SendReset(m_line);
        } catch (const SupplyError& error) {
            throw FromSupplyError(error);
        }
    }
    PolledCurrents Poll() override {
        const CurrentPoll poll = PollCurrents(m_line);
        PolledCurrents polled;
        polled.reading = poll.reading;
        polled.lost = poll.reply.end == ReplyEnd::LineGone;
        if (!poll.reading) {
            polled.problem = DescribeBadReply(m_line.Name(), m_line.WaitMs(),
                                              protocol::kCurrentRequest, poll.reply);
        }
        return polled;
    }
    Place Where() override { return {m_found.port.name, m_found.port.devicePath.string()}; }
    void SwitchOffAtExit() override { m_channel.SetLastWords(protocol::kResetCommand); }

private:
    CSerialChannel m_channel;
    FoundSupply m_found;
    SupplyLine m_line;
};

// The supply as the options reach it: through the server they name, else on a port here.
std::unique_ptr<SupplyAccess> ReachSupply(const CliOptions& options, ByteTrace& trace) {
    if (options.connect) {
        return std::make_unique<RemoteSupply>(*options.connect, options.waitMs, trace);
    }
    return std::make_unique<PortSupply>(options, trace);
}

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
    const auto supply = ReachSupply(options, trace);
    const std::string identity = supply->Identity();
    out << supply->Name() << ": " << identity << '\n';
    return kExitSuccess;
}

void ConfirmOn(const CliOptions& options, const SupplyAccess& supply, std::ostream& out) {
    if (!options.quiet) {
        out << supply.Name() << ": output on at +" << StepText(options.positiveCode, Rail::Positive)
            << " / " << StepText(options.negativeCode, Rail::Negative) << '\n';
    }
}

int RunOff(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    const auto supply = ReachSupply(options, trace);
    supply->SwitchOff();
    if (!options.quiet) {
        out << supply->Name() << ": output off\n";
    }
    return kExitSuccess;
}

int RunRead(const CliOptions& options, std::ostream& out, ByteTrace& trace) {
    const auto supply = ReachSupply(options, trace);
    const auto when = std::chrono::system_clock::now();
    const PolledCurrents poll = supply->Poll();
    if (!poll.reading) {
        throw CliError(kExitNoSupply, poll.problem);
    }
    if (options.json) {
        const auto place = supply->Where();
        out << "{\"port\":" << JsonString(place.port) << ",\"device\":" << JsonString(place.device)
            << ",\"time\":" << JsonString(FormatLocalTimestamp(when))
            << ",\"pos_mA\":" << poll.reading->positiveMa
            << ",\"neg_mA\":" << poll.reading->negativeMa << "}\n";
    } else {
        out << "pos_mA=" << poll.reading->positiveMa << " neg_mA=" << poll.reading->negativeMa
            << '\n';
    }
    return kExitSuccess;
}

// Rows that nobody asked for: on and set watch the currents without recording them.
class DiscardedRows : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
};

// Where a program stopped, e.g. "step 3 of 5" or "step 3 of 5 in pass 2".
std::string StepReached(const CliOptions& options, const SequenceResult& result) {
    if (result.step == 0) {
        return "before the first step";
    }
    return "step " + std::to_string(result.step) + " of " +
           std::to_string(options.sequence.size()) +
           (options.passes == std::optional<std::size_t>(1)
                ? std::string()
                : " in pass " + std::to_string(result.pass));
}

// A path that cannot be written is a mistake on the command line, found before any port is
// touched; the file itself is left alone until the supply has answered, so that a run that
// does not reach it keeps an earlier recording as it was.
void CheckRecordingPath(const CliOptions& options) {
    if (options.csvFile) {
        if (const auto problem = WhyNotWritable(*options.csvFile)) {
            throw CliError(kExitUsage, "cannot write " + options.csvFile->string() + ": " +
                                           *problem + "; nothing was sent");
        }
    }
}

// Where a recording's rows go: the --csv file, made afresh once the supply has answered, or
// standard output.
class Recording {
public:
    Recording(const CliOptions& options, std::ostream& out)
        : m_rows(options.csvFile ? m_file : out) {
        if (options.csvFile) {
            m_file.open(*options.csvFile, std::ios::out | std::ios::trunc);
            if (!m_file) {
                throw CliError(kExitNoSupply, "cannot write " + options.csvFile->string() + ": " +
                                                  std::strerror(errno) +
                                                  "; the output was left as it was");
            }
        }
    }

    std::ostream& Rows() { return m_rows; }

private:
    std::ofstream m_file;
    std::ostream& m_rows;
};

// The live status line, for a person watching a terminal only.
StatusLine WatchStatus(const CliOptions& options, std::ostream& err) {
    return StatusLine(err, !options.quiet && !options.verbose && StandardErrorIsTerminal());
}

// True when the supply took the switch off.
bool SwitchOff(SupplyAccess& supply) {
    try {
        supply.SwitchOff();
        return true;
    } catch (const CliError&) {
        return false;
    }
}

// Ends a watch of the currents that did not end as planned: switches the output off unless
// --leave-on and tells why it ended.
int EndWatch(const CliOptions& options, ControlledSupply& supply, const MonitorResult& result,
             const StopSignals& stop, std::ostream& err) {
    if (result.end == MonitorEnd::Tripped) {
        supply.ThrowTrip();
    }
    const bool switchedOff = !options.leaveOn && SwitchOff(supply.Supply());
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
    case MonitorEnd::Tripped:
        break;
    }
    throw CliError(kExitNoSupply, result.problem + "; " + outcome);
}

int RunSwitchOn(const CliOptions& options, std::ostream& out, std::ostream& err, ByteTrace& trace) {
    if (!options.trip) {
        const auto supply = ReachSupply(options, trace);
        ControlledSupply controlled(*supply, std::nullopt);
        controlled.SwitchOn(options.positiveCode, options.negativeCode);
        ConfirmOn(options, *supply, out);
        return kExitSuccess;
    }
    // Watched until stopped, like monitor, and never left on by the watch's end.
    const StopSignals stop;
    const auto supply = ReachSupply(options, trace);
    if (stop.StopRequested()) {
        // Asked to stop while the supply was being found: switching on now would defy it.
        if (!options.quiet) {
            err << kProgram << ": stopped by " << stop.SignalName()
                << " before the output was switched on; nothing was changed\n";
        }
        return kExitSuccess;
    }
    supply->SwitchOffAtExit();
    ControlledSupply controlled(*supply, options.trip);
    controlled.SwitchOn(options.positiveCode, options.negativeCode);
    ConfirmOn(options, *supply, out);
    out << std::flush;
    DiscardedRows discarded;
    std::ostream rows(&discarded);
    StatusLine status = WatchStatus(options, err);
    const MonitorPlan plan{pelmora::timing::kPollPeriod, {}, {}, false};
    const MonitorResult result =
        RunMonitor([&] { return controlled.Poll(); }, plan, rows, status, options.quiet, stop);
    status.Finish();
    return EndWatch(options, controlled, result, stop, err);
}

int RunMonitorVerb(const CliOptions& options, std::ostream& out, std::ostream& err,
                   ByteTrace& trace) {
    CheckRecordingPath(options);
    const StopSignals stop;
    const auto supply = ReachSupply(options, trace);
    Recording recording(options, out);
    if (!options.leaveOn) {
        // A crash or an exit from anywhere must not leave the output on either.
        supply->SwitchOffAtExit();
    }
    StatusLine status = WatchStatus(options, err);
    ControlledSupply controlled(*supply, options.trip);
    // Whatever the output did before, inrush is over by the end of the blanking time.
    controlled.WatchAsOn();
    const MonitorPlan plan{options.interval, options.duration, options.samples,
                           options.stopOnError};
    const MonitorResult result = RunMonitor([&] { return controlled.Poll(); }, plan,
                                            recording.Rows(), status, options.quiet, stop);
    status.Finish();
    if (result.end == MonitorEnd::Planned) {
        return kExitSuccess;
    }
    return EndWatch(options, controlled, result, stop, err);
}

int RunSequenceVerb(const CliOptions& options, std::ostream& out, std::ostream& err,
                    ByteTrace& trace) {
    CheckRecordingPath(options);
    const StopSignals stop;
    const auto supply = ReachSupply(options, trace);
    Recording recording(options, out);
    if (!options.leaveOn) {
        supply->SwitchOffAtExit();
    }
    StatusLine status = WatchStatus(options, err);
    ControlledSupply controlled(*supply, options.trip);
    const SequenceResult result =
        RunSequence(controlled, options.sequence, options.passes, recording.Rows(), status, stop);
    status.Finish();
    const std::string reached = StepReached(options, result);
    if (result.end == SequenceEnd::Tripped) {
        err << kProgram << ": stopped at " << reached << '\n';
        controlled.ThrowTrip();
    }
    const bool switchedOff = !options.leaveOn && SwitchOff(*supply);
    const std::string outcome = options.leaveOn ? "the output was left as it was (--leave-on)"
                                : switchedOff   ? "the output was switched off"
                                                : "the output could not be switched off";
    switch (result.end) {
    case SequenceEnd::Done:
    case SequenceEnd::Interrupted: {
        const std::string ended = result.end == SequenceEnd::Done
                                      ? "program done at " + reached + "; " + outcome
                                      : std::string("stopped by ") + stop.SignalName() + " at " +
                                            reached + "; " + outcome;
        if (!options.leaveOn && !switchedOff) {
            throw CliError(kExitNoSupply, ended);
        }
        if (!options.quiet) {
            err << kProgram << ": " << ended << '\n';
        }
        return kExitSuccess;
    }
    case SequenceEnd::PortLost:
    case SequenceEnd::StepFailed:
    case SequenceEnd::SupplySilent:
    case SequenceEnd::OutputFailed:
    case SequenceEnd::Tripped:
        break;
    }
    throw CliError(kExitNoSupply, result.problem + "; stopped at " + reached + ", and " + outcome);
}

int Dispatch(const CliOptions& options, std::ostream& out, std::ostream& err, ByteTrace& trace) {
    switch (options.verb) {
    case Verb::Ports:
        return RunPorts(options, out, trace);
    case Verb::Identify:
        return RunIdentify(options, out, trace);
    case Verb::Set:
    case Verb::On:
        return RunSwitchOn(options, out, err, trace);
    case Verb::Off:
        return RunOff(options, out, trace);
    case Verb::Read:
        return RunRead(options, out, trace);
    case Verb::Monitor:
        return RunMonitorVerb(options, out, err, trace);
    case Verb::Run:
        return RunSequenceVerb(options, out, err, trace);
    case Verb::Serve:
        return RunServe(options, out, err);
    }
    return kExitUsage;
}

// The one line a failed verb ends with, and its exit status.
int Report(const CliOptions& options, const CliError& error, std::ostream& err) {
    // The port and the file named on the command line are quoted back in the messages.
    const std::string name = options.port.name.value_or("");
    const std::string device = options.port.device ? options.port.device->string() : "";
    const std::string csvFile = options.csvFile ? options.csvFile->string() : "";
    const std::string_view inputs[] = {name, device, csvFile};
    err << kProgram << ": " << CutInputsIn(error.what(), inputs) << '\n';
    return error.ExitStatus();
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
    } catch (const SupplyError& error) {
        return Report(options, FromSupplyError(error), err);
    } catch (const CliError& error) {
        return Report(options, error, err);
    }
}

} // namespace pelmora::cli