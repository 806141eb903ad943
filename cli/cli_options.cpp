#include "cli/cli_options.h"

#include "cli/exit_status.h"
#include "cli/remote_address.h"
#include "cli/voltage_argument.h"
#include "cli11_support/bounded_number.h"
#include "link/command_input.h"
#include "link/supply_timing.h"
#include "link/voltage_table.h"
#include "rules/sequence_file.h"

#include <CLI/CLI.hpp>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace pelmora::cli {

namespace {

using pelmora::cli11::ParseBounded;

constexpr const char* kProgram = "pelmora-cli";
constexpr const char* kDescription =
    "Sets, switches, reads and records the dual-rail supply from the command line, and tells "
    "why it cannot be reached.";
constexpr const char* kFooter = R"(
Without --port or --device, the supply is looked for on the listed serial ports (PELMORA_PORTS,
or the machine's serial devices), as the panel looks for it. With --connect HOST[:PORT],
identify, set, on, off, read, monitor and run go through pelmora-cli serve running there
instead, with the same output.

--trip-ma watches the currents in software and switches the output off when a rail stays over
its limit: at worst N polls plus one exchange after it went over, and only while pelmora-cli
runs. It is no hardware protection.

Exit status: 0 success; 1 supply not found or not answering, or the server not reached;
2 usage error, a bad sequence file, or an address serve cannot listen on (nothing was sent);
3 a port could not be used (permission, busy, not a terminal); 4 the over-current protection
tripped and switched the output off.
)";
constexpr int kMaxWaitMs = 60'000;
// A server's reply can wait behind other clients' exchanges and the supply's own pauses.
constexpr int kRemoteReplyWaitMs = 2000;
constexpr int kMaxIntervalMs = 24 * 60 * 60 * 1000;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr std::size_t kRailCount = 2;
constexpr const char* kTripOff = "off";

std::chrono::milliseconds ParseSeconds(const std::string& option, const std::string& text) {
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds) ||
        seconds <= 0.0 || seconds > std::numeric_limits<int>::max()) {
        throw CLI::ValidationError(option, "'" + text + "' is not a number of seconds above 0");
    }
    return std::chrono::milliseconds(
        static_cast<long long>(std::ceil(seconds * kMillisecondsPerSecond)));
}

// "0.5" for 500 ms.
std::string SecondsText(std::chrono::milliseconds duration) {
    std::ostringstream text;
    text << static_cast<double>(duration.count()) / kMillisecondsPerSecond;
    return text.str();
}

// Seconds from `minimum` to `maximum`, to the millisecond, e.g. "0.25".
std::chrono::milliseconds ParseSecondsIn(const std::string& option, const std::string& text,
                                         std::chrono::milliseconds minimum,
                                         std::chrono::milliseconds maximum) {
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    const double milliseconds = seconds * kMillisecondsPerSecond;
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds) ||
        milliseconds < static_cast<double>(minimum.count()) ||
        milliseconds > static_cast<double>(maximum.count())) {
        throw CLI::ValidationError(option, "'" + text + "' is not a number of seconds from " +
                                               SecondsText(minimum) + " to " +
                                               SecondsText(maximum));
    }
    return std::chrono::milliseconds(std::llround(milliseconds));
}

// "POS[,NEG]": one limit for both rails, or each rail's; "off" leaves a rail unwatched.
void TakeTripLimits(const std::string& option, const std::string& text,
                    overcurrent::TripSettings& settings) {
    const auto comma = text.find(',');
    const std::string positive = text.substr(0, comma);
    const std::string negative = comma == std::string::npos ? positive : text.substr(comma + 1);
    const auto take = [&](const std::string& typed, overcurrent::RailLimit& limit) {
        limit.enabled = typed != kTripOff;
        if (limit.enabled) {
            limit.limitMa =
                ParseBounded(option, typed, overcurrent::kMinLimitMa, overcurrent::kMaxLimitMa);
        }
    };
    take(positive, settings.positive);
    take(negative, settings.negative);
    if (!settings.AnyEnabled()) {
        throw CLI::ValidationError(option, "'" + text + "' watches neither rail");
    }
}

// A value parsed by `parse`, whose std::invalid_argument becomes the option's usage error.
template <typename Parse> auto Parsed(const std::string& option, Parse parse) {
    try {
        return parse();
    } catch (const std::invalid_argument& error) {
        throw CLI::ValidationError(option, error.what());
    }
}

// What follows [OPTIONS] in each usage line, which CLI11 would spell from its own names.
class CliHelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* app, std::string name) const override {
        static const std::map<std::string, std::string, std::less<>> kOperands = {
            {kProgram, " VERB"}, {"set", " POS NEG"}, {"on", " [POS NEG]"}, {"run", " FILE"}};
        const auto operands = kOperands.find(app->get_name());
        return "Usage: " + name + " [OPTIONS]" +
               (operands == kOperands.end() ? "" : operands->second) + "\n\n" +
               app->get_description() + "\n";
    }
    // Told after the usage line instead.
    std::string make_description(const CLI::App* /*app*/) const override { return {}; }
};

class CommandLine {
public:
    CommandLine() : m_app(kDescription, kProgram) {
        m_app.formatter(std::make_shared<CliHelpFormatter>());
        m_app.set_help_flag("-h,--help", "show this help");
        m_app.set_version_flag("--version", std::string(kProgram) + " " + PELMORA_VERSION,
                               "show the version");
        m_app.footer(kFooter);
        m_app.require_subcommand(1);
        AddCommonOptions();
        AddVerbs();
    }

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

private:
    template <typename Take>
    CLI::Option* Value(CLI::App& app, const std::string& name, const char* valueName,
                       const std::string& description, Take take) {
        return app
            .add_option_function<std::string>(
                name, [name, take](const std::string& value) { take(name, value); }, description)
            ->type_name(valueName);
    }

    void AddCommonOptions() {
        const auto group = "Common options (also after the verb)";
        m_app.add_option("--port", m_portName, "the supply's port by its listed name, e.g. COM3")
            ->type_name("NAME")
            ->group(group);
        m_app.add_option("--device", m_devicePath, "the supply's device, e.g. /dev/ttyACM0")
            ->type_name("PATH")
            ->group(group);
        Value(m_app, "--connect", "HOST[:PORT]",
              "reach the supply through pelmora-cli serve running there (port " +
                  std::to_string(kDefaultServerPort) + " unless given; [::1]:PORT for IPv6)",
              [this](const std::string& o, const std::string& v) {
                  m_options.connect = ParseRemoteAddress(v);
                  if (!m_options.connect) {
                      throw CLI::ValidationError(o, "'" + v +
                                                        "' is no HOST, HOST:PORT or [IPV6]:PORT");
                  }
              })
            ->group(group);
        Value(m_app, "--wait", "MS",
              "how long to wait for a reply (default " +
                  std::to_string(pelmora::timing::kReplyWaitMs) + "; with --connect " +
                  std::to_string(kRemoteReplyWaitMs) + ", for each reply of the server)",
              [this](const std::string& o, const std::string& v) {
                  m_waitMs = ParseBounded(o, v, 1, kMaxWaitMs);
              })
            ->group(group);
        m_app
            .add_flag("-q,--quiet", m_options.quiet,
                      "print only results and errors: no confirmations or status")
            ->group(group);
        m_app
            .add_flag("-v,--verbose", m_options.verbose,
                      "show every byte sent and received, with times, on stderr")
            ->group(group);
    }

    CLI::App* AddVerb(const char* name, const char* description) {
        CLI::App* verb = m_app.add_subcommand(name, description);
        verb->fallthrough();
        return verb;
    }

    void AddVoltages(CLI::App* verb, std::vector<std::string>& voltages, bool& byCode) {
        verb->add_option("voltages", voltages,
                         "POS NEG: 5, 5V or 1.5 for the positive rail; -5, -5V or 5 for the "
                         "negative rail")
            ->type_name("POS NEG")
            ->expected(0, static_cast<int>(kRailCount));
        verb->add_flag("--code", byCode, "take POS and NEG as codes of the table, e.g. 050 120");
    }

    void AddTripOptions(CLI::App& verb) {
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

    void AddVerbs() {
        m_ports = AddVerb("ports", "list every serial port and what answers on it");
        m_ports->add_flag("--json", m_options.json, "as JSON");
        m_identify = AddVerb("identify", "show the supply's port and its identity reply");
        m_set = AddVerb("set", "set both rails; the voltage command also switches the output on");
        AddVoltages(m_set, m_setVoltages, m_setByCode);
        m_on = AddVerb("on", "switch the output on at POS NEG (default 1 V and -1 V)");
        AddVoltages(m_on, m_onVoltages, m_onByCode);
        m_off = AddVerb("off", "switch the output off");
        for (CLI::App* watching : {m_set, m_on}) {
            AddTripOptions(*watching);
        }
        m_read = AddVerb("read", "take one current sample of both rails, in mA");
        m_read->add_flag("--json", m_options.json, "as JSON");

        m_monitor =
            AddVerb("monitor", "record both currents as CSV; Ctrl+C switches the output off");
        m_options.interval = pelmora::timing::kPollPeriod;
        Value(*m_monitor, "--interval", "MS",
              "from one sample to the next (default " +
                  std::to_string(pelmora::timing::kPollPeriod.count()) +
                  "; 0 for as fast as it answers)",
              [this](const std::string& o, const std::string& v) {
                  m_options.interval =
                      std::chrono::milliseconds(ParseBounded(o, v, 0, kMaxIntervalMs));
              });
        Value(*m_monitor, "--duration", "S", "stop after S seconds, leaving the output as it is",
              [this](const std::string& o, const std::string& v) {
                  m_options.duration = ParseSeconds(o, v);
              });
        Value(*m_monitor, "--samples", "N", "stop after N samples, leaving the output as it is",
              [this](const std::string& o, const std::string& v) {
                  m_options.samples = ParseBounded(o, v, 1, std::numeric_limits<int>::max());
              });
        m_monitor
            ->add_option("--csv", m_csvFile,
                         "write the CSV to FILE instead of stdout; an existing FILE is "
                         "overwritten once the supply has answered, and left as it was when "
                         "the supply is not reached")
            ->type_name("FILE");
        m_monitor->add_flag("--stop-on-error", m_options.stopOnError,
                            "end at the first failed poll instead of recording an empty row");
        m_monitor->add_flag("--leave-on", m_options.leaveOn,
                            "leave the output on when interrupted or when the port is lost");

        AddTripOptions(*m_monitor);

        m_run = AddVerb("run", "run a voltage sequence from a CSV file of dwell_s,pos_v,neg_v "
                               "steps, recording the currents; the output is off at its end");
        m_run->add_option("file", m_sequenceFile, "the sequence file, checked whole first")
            ->type_name("FILE")
            ->required();
        Value(*m_run, "--repeat", "N", "run the program N times (default 1)",
              [this](const std::string& o, const std::string& v) {
                  m_options.passes =
                      ParseBounded(o, v, std::size_t{1}, std::numeric_limits<std::size_t>::max());
              });
        m_run->add_flag("--forever", m_forever, "repeat the program until stopped");
        m_run
            ->add_option("--csv", m_csvFile,
                         "write the recording, with a step column, to FILE instead of stdout")
            ->type_name("FILE");
        m_run->add_flag("--leave-on", m_options.leaveOn,
                        "leave the output as it is at the end, when interrupted or when the "
                        "port is lost (a trip still switches it off)");
        AddTripOptions(*m_run);

        m_serve = AddVerb("serve", "serve the supply to SCPI clients over TCP; the output is off "
                                   "until a client switches it on");
        m_options.listen = server::ParseListenAddress(server::kDefaultListenAddress);
        Value(*m_serve, "--listen", "ADDR:PORT",
              "the address to listen on (default " + std::string(server::kDefaultListenAddress) +
                  "; [::1]:5025 for IPv6; port 0 for a free one)",
              [this](const std::string& o, const std::string& v) {
                  m_options.listen = Parsed(o, [&] { return server::ParseListenAddress(v); });
              });
        m_serve
            ->add_option("--allow", m_allowed,
                         "let in clients from this range, e.g. 192.168.1.0/24 (repeatable); "
                         "needed to listen on any address but loopback, and then the only "
                         "clients let in")
            ->type_name("CIDR");
        m_serve->add_flag("--off-on-disconnect", m_options.offOnDisconnect,
                          "switch the output off when the last client leaves");
    }

    // What CLI11 cannot check by itself, or would put in the way of the help text.
    void Finish() {
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
        exclusive(m_forever, m_run->count("--repeat") > 0, "--repeat, --forever");
        if (!m_portName.empty()) {
            m_options.port.name = m_portName;
        }
        if (!m_devicePath.empty()) {
            m_options.port.device = std::filesystem::path(m_devicePath);
        }
        if (!m_csvFile.empty()) {
            m_options.csvFile = std::filesystem::path(m_csvFile);
        }
        const std::pair<CLI::App*, Verb> verbs[] = {
            {m_ports, Verb::Ports},     {m_identify, Verb::Identify}, {m_set, Verb::Set},
            {m_on, Verb::On},           {m_off, Verb::Off},           {m_read, Verb::Read},
            {m_monitor, Verb::Monitor}, {m_run, Verb::Run},           {m_serve, Verb::Serve}};
        for (const auto& [app, verb] : verbs) {
            if (app->parsed()) {
                m_options.verb = verb;
            }
        }
        if (m_options.connect && (m_options.verb == Verb::Ports || m_options.verb == Verb::Serve)) {
            throw CLI::ValidationError(
                "--connect", std::string(m_options.verb == Verb::Ports ? "ports" : "serve") +
                                 " works on this machine's ports, not through a server");
        }
        if (m_tripAsked) {
            m_options.trip = m_trip;
        } else if (m_tripTuned) {
            throw CLI::ValidationError("--trip-samples, --trip-delay",
                                       "need --trip-ma, the limit they go with");
        }
        if (m_options.verb == Verb::Run) {
            TakeSequence();
        }
        m_options.waitMs = m_waitMs.value_or(m_options.connect ? kRemoteReplyWaitMs
                                                               : pelmora::timing::kReplyWaitMs);
        for (const auto& range : m_allowed) {
            m_options.allowed.push_back(
                Parsed("--allow", [&] { return server::ParseAddressRange(range); }));
        }
        if (m_options.verb == Verb::Serve && m_options.allowed.empty() &&
            !server::IsLoopback(m_options.listen.address)) {
            throw CLI::ValidationError(
                "--listen", server::FormatAddress(m_options.listen.address) +
                                " is reachable from other machines; say who may connect with "
                                "--allow CIDR");
        }
        if (m_options.verb == Verb::Set) {
            if (m_setVoltages.size() != kRailCount) {
                throw CLI::ValidationError("set", "both voltages are needed, e.g. 'set 5 -12'");
            }
            TakeVoltages("set", m_setVoltages, m_setByCode);
        } else if (m_options.verb == Verb::On) {
            if (m_onVoltages.empty()) {
                m_options.positiveCode = kDefaultVoltageCode;
                m_options.negativeCode = kDefaultVoltageCode;
            } else if (m_onVoltages.size() != kRailCount) {
                throw CLI::ValidationError("on", "give both voltages, e.g. 'on 5 -12', or none");
            } else {
                TakeVoltages("on", m_onVoltages, m_onByCode);
            }
        }
    }

    void TakeSequence() {
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

    void TakeVoltages(const std::string& verb, const std::vector<std::string>& typed, bool byCode) {
        m_options.positiveCode = Code(verb, typed[0], Rail::Positive, byCode);
        m_options.negativeCode = Code(verb, typed[1], Rail::Negative, byCode);
    }

    static std::string Code(const std::string& verb, const std::string& typed, Rail rail,
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
    bool m_forever = false;
    bool m_setByCode = false;
    bool m_onByCode = false;
    CLI::App m_app;
    CLI::App* m_ports = nullptr;
    CLI::App* m_identify = nullptr;
    CLI::App* m_set = nullptr;
    CLI::App* m_on = nullptr;
    CLI::App* m_off = nullptr;
    CLI::App* m_read = nullptr;
    CLI::App* m_monitor = nullptr;
    CLI::App* m_run = nullptr;
    CLI::App* m_serve = nullptr;
};

} // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
    return CommandLine().Parse(arguments);
}

} // namespace pelmora::cli
