#include "cli/cli_options.h"

#include "cli/cli_help_formatter.h"
#include "cli/exit_status.h"
#include "cli/option_values.h"
#include "cli/remote_address.h"
#include "cli/voltage_argument.h"
#include "cli11_support/bounded_number.h"
#include "link/command_input.h"
#include "link/supply_timing.h"
#include "link/voltage_table.h"
#include "rules/sequence_file.h"

#include <CLI/CLI.hpp>
#include <array>
#include <filesystem>
#include <limits>
#include <memory>
#include <sstream>
#include <vector>

namespace pelmora::cli {

namespace {

using pelmora::cli11::ParseBounded;

constexpr const char* kProgram = "pelmora-cli";
constexpr const char* kDescription =
    "Sets, switches, reads and records the dual-rail supply from the command line, and tells "
    "why it cannot be reached.";
// The footers' paragraphs, each on one line; the help wraps them.
constexpr const char* kLooksForSupply =
    "Without --port or --device, the supply is looked for on the listed serial ports "
    "(PELMORA_PORTS, or the machine's serial devices), as the panel looks for it.";
constexpr const char* kProbesPorts =
    "Without --port or --device, every listed serial port is probed (PELMORA_PORTS, or the "
    "machine's serial devices); with one of them, that port alone.";
constexpr const char* kTripNote =
    "--trip-ma watches the currents in software and switches the output off when a rail stays "
    "over its limit: at worst N polls plus one exchange after it went over, and only while "
    "pelmora-cli runs. It is no hardware protection.";
constexpr const char* kCommonGroup = "Common options (also after the verb)";
constexpr const char* kCommonTitle = "Common options (also before the verb)";
constexpr int kMaxWaitMs = 60'000;
// A server's reply can wait behind other clients' exchanges and the supply's own pauses.
constexpr int kRemoteReplyWaitMs = 2000;
constexpr int kMaxIntervalMs = 24 * 60 * 60 * 1000;
constexpr std::size_t kRailCount = 2;

class CommandLine;

// A verb as the command line knows it, in the order the help lists them.
struct VerbEntry {
    const char* name;
    Verb verb;
    const char* description;
    // What follows [OPTIONS] in its usage line.
    const char* operands;
    // How it finds its port, for its footer.
    const char* lookNote;
    // Whether --connect can take it to the supply through a server.
    bool throughServer;
    // Whether it takes the over-current protection's options.
    bool watchesCurrents;
    // What its exit status 2 also stands for, beyond a bad command line; empty for nothing.
    const char* usageAlso;
    // Adds its own options; empty for none.
    void (CommandLine::*addOptions)(CLI::App& verb);
    // Takes what it was given, once parsed, where CLI11 cannot; empty for nothing to take.
    void (CommandLine::*finish)();
};

class CommandLine {
public:
    CommandLine();

    ParsedCommandLine Parse(std::span<const std::string_view> arguments) {
        ParsedCommandLine parsed;
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        try {
            // Before the parser, which takes "--device=" as a "--device" waiting for its value.
            if (const auto empty = FindEmptyValue(arguments)) {
                throw CLI::ValidationError(*empty);
            }
            m_app.parse(reversed);
            Finish();
            parsed.options = m_options;
        } catch (const CLI::Success& done) {
            std::ostringstream out;
            std::ostringstream error;
            parsed.exitStatus = m_app.exit(done, out, error);
            parsed.output = out.str();
        } catch (const CLI::ParseError& error) {
            parsed.exitStatus = kExitUsage;
            parsed.error = std::string(kProgram) + ": " + CutInputsIn(error.what(), arguments) +
                           "; see '" + kProgram + " --help'";
        }
        return parsed;
    }

    void AddJsonOption(CLI::App& verb) { verb.add_flag("--json", m_options.json, "as JSON"); }
    void AddSetOptions(CLI::App& verb) { AddVoltages(verb, m_setVoltages, m_setByCode); }
    void AddOnOptions(CLI::App& verb) { AddVoltages(verb, m_onVoltages, m_onByCode); }
    void AddMonitorOptions(CLI::App& verb);
    void AddRunOptions(CLI::App& verb);
    void AddServeOptions(CLI::App& verb);

    void FinishSet() {
        if (m_setVoltages.size() != kRailCount) {
            throw CLI::ValidationError("set", "both voltages are needed, e.g. 'set 5 -12'");
        }
        TakeVoltages("set", m_setVoltages, m_setByCode);
    }
    void FinishOn();
    void FinishRun();
    void FinishServe();

private:
    template <typename Take>
    CLI::Option* Value(CLI::App& app, const std::string& name, const char* valueName,
                       const std::string& description, Take take) {
        return app
            .add_option_function<std::string>(
                name, [name, take](const std::string& value) { take(name, value); }, description)
            ->type_name(valueName);
    }

    void AddCommonOptions();
    void AddVerb(const VerbEntry& entry);
    void AddVoltages(CLI::App& verb, std::vector<std::string>& voltages, bool& byCode);
    void AddTripOptions(CLI::App& verb);

    void Finish();
    void CheckExclusive() const;
    void TakeCommonOptions();
    const VerbEntry& ParsedVerb() const;
    void TakeTrip();
    void TakeVoltages(const std::string& verb, const std::vector<std::string>& typed, bool byCode);
    static std::string Code(const std::string& verb, const std::string& typed, Rail rail,
                            bool byCode);

    CliOptions m_options;
    std::string m_portName;
    std::optional<int> m_waitMs;
    std::string m_devicePath;
    std::string m_csvFile;
    std::vector<std::string> m_setVoltages;
    std::vector<std::string> m_onVoltages;
    std::vector<std::string> m_allowed;
    std::string m_sequenceFile;
    overcurrent::TripSettings m_trip;
    bool m_tripAsked = false;
    bool m_tripTuned = false;
    bool m_repeated = false;
    bool m_forever = false;
    bool m_setByCode = false;
    bool m_onByCode = false;
    bool m_noAnnounce = false;
    std::shared_ptr<CliHelpFormatter> m_help = std::make_shared<CliHelpFormatter>(kCommonTitle);
    CLI::App m_app;
    std::vector<std::pair<const VerbEntry*, CLI::App*>> m_verbs;
};

constexpr std::array kVerbs = {
    VerbEntry{"ports", Verb::Ports, "list every serial port and what answers on it", "",
              kProbesPorts, false, false, "", &CommandLine::AddJsonOption, nullptr},
    VerbEntry{"identify", Verb::Identify, "show the supply's port and its identity reply", "",
              kLooksForSupply, true, false, "", nullptr, nullptr},
    VerbEntry{"set", Verb::Set, "set both rails; the voltage command also switches the output on",
              " POS NEG", kLooksForSupply, true, true, "", &CommandLine::AddSetOptions,
              &CommandLine::FinishSet},
    VerbEntry{"on", Verb::On, "switch the output on at POS NEG (default 1 V and -1 V)",
              " [POS NEG]", kLooksForSupply, true, true, "", &CommandLine::AddOnOptions,
              &CommandLine::FinishOn},
    VerbEntry{"off", Verb::Off, "switch the output off", "", kLooksForSupply, true, false, "",
              nullptr, nullptr},
    VerbEntry{"read", Verb::Read, "take one current sample of both rails, in mA", "",
              kLooksForSupply, true, false, "", &CommandLine::AddJsonOption, nullptr},
    VerbEntry{"monitor", Verb::Monitor,
              "record both currents as CSV; Ctrl+C switches the output off", "", kLooksForSupply,
              true, true, "", &CommandLine::AddMonitorOptions, nullptr},
    VerbEntry{"run", Verb::Run,
              "run a voltage sequence from a CSV file of dwell_s,pos_v,neg_v steps, recording "
              "the currents; the output is off at its end",
              " FILE", kLooksForSupply, true, true, ", a bad sequence file",
              &CommandLine::AddRunOptions, &CommandLine::FinishRun},
    VerbEntry{"serve", Verb::Serve,
              "serve the supply to SCPI clients over TCP; the output is off until a client "
              "switches it on",
              "", kLooksForSupply, false, false, ", an address serve cannot listen on",
              &CommandLine::AddServeOptions, &CommandLine::FinishServe},
};

// What --connect does for `who` ("it goes", "identify, ... and run go").
std::string ThroughServerNote(const std::string& who) {
    return "With --connect HOST[:PORT], " + who +
           " through pelmora-cli serve running there instead, with the same output.";
}

// The exit statuses of a command that can reach the supply through a server or not, whose
// status 2 also stands for `usageAlso`, and that watches the currents or not.
std::string ExitStatusNote(bool throughServer, const std::string& usageAlso, bool watchesCurrents) {
    return std::string("Exit status: 0 success; 1 supply not found or not answering") +
           (throughServer ? ", or the server not reached" : "") + "; 2 usage error" + usageAlso +
           " (nothing was sent); 3 a port could not be used (permission, busy, not a terminal)" +
           (watchesCurrents ? "; 4 the over-current protection tripped and switched the output off"
                            : "") +
           ".";
}

// The paragraphs that concern `entry`.
std::string VerbFooter(const VerbEntry& entry) {
    std::string footer = std::string("\n") + entry.lookNote + "\n";
    if (entry.throughServer) {
        footer += "\n" + ThroughServerNote("it goes") + "\n";
    }
    if (entry.watchesCurrents) {
        footer += std::string("\n") + kTripNote + "\n";
    }
    return footer + "\n" +
           ExitStatusNote(entry.throughServer, entry.usageAlso, entry.watchesCurrents) + "\n";
}

// Every verb's paragraphs, once.
std::string ProgramFooter() {
    std::vector<std::string> remote;
    std::string usageAlso;
    for (const VerbEntry& entry : kVerbs) {
        if (entry.throughServer) {
            remote.emplace_back(entry.name);
        }
        usageAlso += entry.usageAlso;
    }
    std::string who = remote.front();
    for (std::size_t i = 1; i < remote.size(); ++i) {
        who += (i + 1 == remote.size() ? " and " : ", ") + remote[i];
    }
    return std::string("\n") + kLooksForSupply + " " + ThroughServerNote(who + " go") + "\n\n" +
           kTripNote + "\n\n" + ExitStatusNote(true, usageAlso, true) + "\n";
}

CommandLine::CommandLine() : m_app(kDescription, kProgram) {
    m_app.formatter(m_help);
    m_app.set_help_flag("-h,--help", "show this help");
    m_app.set_version_flag("--version", std::string(kProgram) + " " + PELMORA_VERSION,
                           "show the version");
    m_app.footer(ProgramFooter());
    m_app.require_subcommand(1);
    m_help->Describe(kProgram, {" VERB", {}});
    AddCommonOptions();
    for (const VerbEntry& entry : kVerbs) {
        AddVerb(entry);
    }
}

void CommandLine::AddCommonOptions() {
    m_app.add_option("--port", m_portName, "the supply's port by its listed name, e.g. COM3")
        ->type_name("NAME")
        ->group(kCommonGroup);
    m_app.add_option("--device", m_devicePath, "the supply's device, e.g. /dev/ttyACM0")
        ->type_name("PATH")
        ->group(kCommonGroup);
    Value(m_app, "--connect", "HOST[:PORT]",
          "reach the supply through pelmora-cli serve running there (port " +
              std::to_string(kDefaultServerPort) + " unless given; [::1]:PORT for IPv6)",
          [this](const std::string& o, const std::string& v) {
              m_options.connect = ParseRemoteAddress(v);
              if (!m_options.connect) {
                  throw CLI::ValidationError(o, "'" + v + "' is no HOST, HOST:PORT or [IPV6]:PORT");
              }
          })
        ->group(kCommonGroup);
    Value(m_app, "--wait", "MS",
          "how long to wait for a reply (default " + std::to_string(pelmora::timing::kReplyWaitMs) +
              "; with --connect " + std::to_string(kRemoteReplyWaitMs) +
              ", for each reply of the server)",
          [this](const std::string& o, const std::string& v) {
              m_waitMs = ParseBounded(o, v, 1, kMaxWaitMs);
          })
        ->group(kCommonGroup);
    m_app
        .add_flag("-q,--quiet", m_options.quiet,
                  "print only results and errors: no confirmations or status")
        ->group(kCommonGroup);
    m_app
        .add_flag("-v,--verbose", m_options.verbose,
                  "show every byte sent and received, with times, on stderr")
        ->group(kCommonGroup);
}

void CommandLine::AddVerb(const VerbEntry& entry) {
    CLI::App* verb = m_app.add_subcommand(entry.name, entry.description);
    verb->fallthrough();
    verb->footer(VerbFooter(entry));
    if (entry.addOptions) {
        (this->*entry.addOptions)(*verb);
    }
    if (entry.watchesCurrents) {
        AddTripOptions(*verb);
    }
    const auto common = m_app.get_options([&entry](const CLI::Option* option) {
        return option->get_group() == kCommonGroup &&
               (entry.throughServer || option->get_name() != "--connect");
    });
    m_help->Describe(entry.name, {entry.operands, {common.begin(), common.end()}});
    m_verbs.emplace_back(&entry, verb);
}

void CommandLine::AddVoltages(CLI::App& verb, std::vector<std::string>& voltages, bool& byCode) {
    verb.add_option("voltages", voltages,
                    "5, 5V or 1.5 for the positive rail; -5, -5V or 5 for the negative rail")
        ->type_name("POS NEG")
        ->expected(0, static_cast<int>(kRailCount));
    verb.add_flag("--code", byCode, "take POS and NEG as codes of the table, e.g. 050 120");
}

void CommandLine::AddTripOptions(CLI::App& verb) {
    const auto group = "Over-current protection";
    Value(verb, "--trip-ma", "POS[,NEG]",
          "switch the output off when a rail draws more than this many mA (" +
              std::to_string(overcurrent::kMinLimitMa) + " to " +
              std::to_string(overcurrent::kMaxLimitMa) +
              "); one value for both rails, 'off' for a rail left unwatched; exit status 4",
          [this](const std::string& o, const std::string& v) {
              TakeTripLimits(o, v, m_trip);
              m_tripAsked = true;
          })
        ->group(group);
    Value(verb, "--trip-samples", "N",
          "consecutive polls over the limit that trip (default " +
              std::to_string(overcurrent::kDefaultSamples) + ", at most " +
              std::to_string(overcurrent::kMaxSamples) + ")",
          [this](const std::string& o, const std::string& v) {
              m_trip.samples =
                  ParseBounded(o, v, overcurrent::kMinSamples, overcurrent::kMaxSamples);
              m_tripTuned = true;
          })
        ->group(group);
    Value(verb, "--trip-delay", "S",
          "ignore the currents this long after the output goes on or a voltage changes, "
          "for inrush (default " +
              SecondsText(overcurrent::kDefaultBlanking) + ", at most " +
              SecondsText(overcurrent::kMaxBlanking) + ")",
          [this](const std::string& o, const std::string& v) {
              m_trip.blanking =
                  ParseSecondsIn(o, v, overcurrent::kMinBlanking, overcurrent::kMaxBlanking);
              m_tripTuned = true;
          })
        ->group(group);
}

void CommandLine::AddMonitorOptions(CLI::App& verb) {
    m_options.interval = pelmora::timing::kPollPeriod;
    Value(verb, "--interval", "MS",
          "from one sample to the next (default " +
              std::to_string(pelmora::timing::kPollPeriod.count()) +
              "; 0 for as fast as it answers)",
          [this](const std::string& o, const std::string& v) {
              m_options.interval = std::chrono::milliseconds(ParseBounded(o, v, 0, kMaxIntervalMs));
          });
    Value(verb, "--duration", "S", "stop after S seconds, leaving the output as it is",
          [this](const std::string& o, const std::string& v) {
              m_options.duration = ParseSeconds(o, v);
          });
    Value(verb, "--samples", "N", "stop after N samples, leaving the output as it is",
          [this](const std::string& o, const std::string& v) {
              m_options.samples = ParseBounded(o, v, 1, std::numeric_limits<int>::max());
          });
    verb.add_option("--csv", m_csvFile,
                    "write the CSV to FILE instead of stdout; an existing FILE is overwritten "
                    "once the supply has answered, and left as it was when the supply is not "
                    "reached")
        ->type_name("FILE");
    verb.add_flag("--stop-on-error", m_options.stopOnError,
                  "end at the first failed poll instead of recording an empty row");
    verb.add_flag("--leave-on", m_options.leaveOn,
                  "leave the output on when interrupted or when the port is lost");
}

void CommandLine::AddRunOptions(CLI::App& verb) {
    verb.add_option("file", m_sequenceFile, "the sequence file, checked whole first")
        ->type_name("FILE")
        ->required();
    Value(verb, "--repeat", "N", "run the program N times (default 1)",
          [this](const std::string& o, const std::string& v) {
              m_options.passes =
                  ParseBounded(o, v, std::size_t{1}, std::numeric_limits<std::size_t>::max());
              m_repeated = true;
          });
    verb.add_flag("--forever", m_forever, "repeat the program until stopped");
    verb.add_option("--csv", m_csvFile,
                    "write the recording, with a step column, to FILE instead of stdout")
        ->type_name("FILE");
    verb.add_flag("--leave-on", m_options.leaveOn,
                  "leave the output as it is at the end, when interrupted or when the port is "
                  "lost (a trip still switches it off)");
}

void CommandLine::AddServeOptions(CLI::App& verb) {
    m_options.listen = server::ParseListenAddress(server::kDefaultListenAddress);
    Value(verb, "--listen", "ADDR:PORT",
          "the address to listen on (default " + std::string(server::kDefaultListenAddress) +
              "; [::1]:5025 for IPv6; port 0 for a free one)",
          [this](const std::string& o, const std::string& v) {
              m_options.listen = Parsed(o, [&] { return server::ParseListenAddress(v); });
          });
    verb.add_option("--allow", m_allowed,
                    "let in clients from this range, e.g. 192.168.1.0/24 (repeatable); needed "
                    "to listen on any address but loopback, and then the only clients let in")
        ->type_name("CIDR");
    verb.add_flag("--off-on-disconnect", m_options.offOnDisconnect,
                  "switch the output off when the last client leaves");
    verb.add_flag("--no-announce", m_noAnnounce,
                  "do not announce the server on the local network (mDNS through the Avahi "
                  "daemon, on Linux; a loopback address is never announced)");
#ifdef PELMORA_HTTP_FACE
    Value(verb, "--http", "ADDR:PORT",
          "also serve the web page, the REST API and /metrics there (off unless given; a port "
          "alone is on loopback; the same rules as --listen)",
          [this](const std::string& o, const std::string& v) {
              m_options.http = Parsed(o, [&] { return server::ParseHttpAddress(v); });
          });
#endif
}

// What CLI11 cannot check by itself, or would put in the way of the help text.
void CommandLine::Finish() {
    CheckExclusive();
    TakeCommonOptions();
    const VerbEntry& verb = ParsedVerb();
    m_options.verb = verb.verb;
    if (m_options.connect && !verb.throughServer) {
        throw CLI::ValidationError("--connect", std::string(verb.name) +
                                                    " works on this machine's ports, not "
                                                    "through a server");
    }
    TakeTrip();
    if (verb.finish) {
        (this->*verb.finish)();
    }
}

void CommandLine::CheckExclusive() const {
    const auto exclusive = [](bool first, bool second, const char* names) {
        if (first && second) {
            throw CLI::ValidationError(names, "only one of them can be given");
        }
    };
    exclusive(!m_portName.empty(), !m_devicePath.empty(), "--port, --device");
    exclusive(m_options.connect.has_value(), !m_portName.empty(), "--connect, --port");
    exclusive(m_options.connect.has_value(), !m_devicePath.empty(), "--connect, --device");
    exclusive(m_options.quiet, m_options.verbose, "-q, -v");
    exclusive(m_options.duration.has_value(), m_options.samples.has_value(),
              "--duration, --samples");
    exclusive(m_forever, m_repeated, "--repeat, --forever");
}

void CommandLine::TakeCommonOptions() {
    if (!m_portName.empty()) {
        m_options.port.name = m_portName;
    }
    if (!m_devicePath.empty()) {
        m_options.port.device = std::filesystem::path(m_devicePath);
    }
    if (!m_csvFile.empty()) {
        m_options.csvFile = std::filesystem::path(m_csvFile);
    }
    m_options.waitMs =
        m_waitMs.value_or(m_options.connect ? kRemoteReplyWaitMs : pelmora::timing::kReplyWaitMs);
}

// One verb is parsed: the parser requires it.
const VerbEntry& CommandLine::ParsedVerb() const {
    for (const auto& [entry, app] : m_verbs) {
        if (app->parsed()) {
            return *entry;
        }
    }
    throw CLI::RequiredError("VERB");
}

void CommandLine::TakeTrip() {
    if (m_tripAsked) {
        m_options.trip = m_trip;
    } else if (m_tripTuned) {
        throw CLI::ValidationError("--trip-samples, --trip-delay",
                                   "need --trip-ma, the limit they go with");
    }
}

void CommandLine::FinishOn() {
    if (m_onVoltages.empty()) {
        m_options.positiveCode = kDefaultVoltageCode;
        m_options.negativeCode = kDefaultVoltageCode;
    } else if (m_onVoltages.size() != kRailCount) {
        throw CLI::ValidationError("on", "give both voltages, e.g. 'on 5 -12', or none");
    } else {
        TakeVoltages("on", m_onVoltages, m_onByCode);
    }
}

void CommandLine::FinishRun() {
    if (m_forever) {
        m_options.passes.reset();
    }
    const SequenceFileText read = ReadSequenceFile(m_sequenceFile);
    if (read.problem) {
        throw CLI::ValidationError("run", "cannot read " + m_sequenceFile + ": " +
                                              SequenceProblemWords(*read.problem) +
                                              "; nothing was sent");
    }
    try {
        m_options.sequence = ParseSequence(read.text, m_sequenceFile);
    } catch (const SequenceError& error) {
        throw CLI::ValidationError(std::string(error.what()) + "; nothing was sent");
    }
}

void CommandLine::FinishServe() {
    m_options.announce = !m_noAnnounce;
    for (const auto& range : m_allowed) {
        m_options.allowed.push_back(
            Parsed("--allow", [&] { return server::ParseAddressRange(range); }));
    }
    if (m_options.allowed.empty() && !server::IsLoopback(m_options.listen.address)) {
        throw CLI::ValidationError("--listen", server::FormatAddress(m_options.listen.address) +
                                                   " is reachable from other machines; say who "
                                                   "may connect with --allow CIDR");
    }
    if (m_options.http && m_options.allowed.empty() &&
        !server::IsLoopback(m_options.http->address)) {
        throw CLI::ValidationError("--http", server::FormatAddress(m_options.http->address) +
                                                 " is reachable from other machines; say who "
                                                 "may connect with --allow CIDR");
    }
}

void CommandLine::TakeVoltages(const std::string& verb, const std::vector<std::string>& typed,
                               bool byCode) {
    m_options.positiveCode = Code(verb, typed[0], Rail::Positive, byCode);
    m_options.negativeCode = Code(verb, typed[1], Rail::Negative, byCode);
}

std::string CommandLine::Code(const std::string& verb, const std::string& typed, Rail rail,
                              bool byCode) {
    const char* railName = rail == Rail::Positive ? "positive" : "negative";
    if (byCode) {
        if (const auto code = TableCodeOf(typed)) {
            return std::string(*code);
        }
        throw CLI::ValidationError(verb, "'" + typed + "' is no code of the " + railName +
                                             " rail; valid codes: " + ValidCodes());
    }
    if (const auto code = VoltageCodeOf(typed, rail)) {
        return std::string(*code);
    }
    throw CLI::ValidationError(verb, "'" + typed + "' is no step of the " + railName +
                                         " rail; valid steps: " + ValidSteps(rail));
}

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
    return CommandLine().Parse(arguments);
}

} // namespace pelmora::cli
