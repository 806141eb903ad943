#include "sim/sim_options.h"

#include "cli11_support/bounded_number.h"
#include "link/command_input.h"
#include "sim/supply_model.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

namespace pelmora::sim {

namespace {

using pelmora::cli11::ParseBounded;

constexpr std::string_view kCommandMark = "--";
constexpr std::size_t kIdentitySuffixLength = kDefaultIdentitySuffix.size();
// Characters that would break the port list variable apart.
constexpr std::string_view kNameForbidden = ",=";
constexpr int kMaxMilliseconds = std::numeric_limits<int>::max();
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr char kTimeSeparator = ':';
constexpr char kLoadSeparator = ',';

constexpr const char* kUsageLine = "Usage: pelmora-sim [OPTION]... [-- COMMAND [ARGUMENT]...]\n";
constexpr const char* kDescription =
    R"(
A simulated dual-rail supply on a pseudo-terminal. Without a command it prints its port list
entry, PELMORA_PORTS=NAME=PATH, and serves until interrupted. With a command it runs the command
with its entry put in front of PELMORA_PORTS, and ends with the command's exit status.)";

std::chrono::milliseconds ParseMilliseconds(const std::string& option, const std::string& text) {
    return std::chrono::milliseconds(ParseBounded(option, text, 0, kMaxMilliseconds));
}

std::size_t ParseCount(const std::string& option, const std::string& text, std::size_t minimum) {
    return ParseBounded(option, text, minimum, std::numeric_limits<std::size_t>::max());
}

double ParseOhms(const std::string& option, const std::string& text) {
    double ohms = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ohms);
    if (error != std::errc{} || end != text.data() + text.size()) {
        throw CLI::ValidationError(option, "'" + text + "' is not a number of ohms");
    }
    if (std::isnan(ohms) || ohms < kShortOhms) {
        throw CLI::ValidationError(option, "a load cannot be below 0 ohms (0 is a short)");
    }
    return ohms;
}

// "2.5:0,inf": from 2.5 s after the output first goes on, a short on the positive rail and
// nothing on the negative one.
LoadChange ParseLoadChange(const std::string& option, const std::string& text) {
    const std::size_t colon = text.find(kTimeSeparator);
    const std::size_t comma = text.find(kLoadSeparator, colon == std::string::npos ? 0 : colon);
    if (colon == std::string::npos || comma == std::string::npos) {
        throw CLI::ValidationError(option, "'" + text + "' is not SECONDS:POS_OHMS,NEG_OHMS");
    }
    const std::string secondsText = text.substr(0, colon);
    double seconds = 0.0;
    const auto [end, error] =
        std::from_chars(secondsText.data(), secondsText.data() + secondsText.size(), seconds);
    if (error != std::errc{} || end != secondsText.data() + secondsText.size() ||
        !(seconds >= 0.0 && seconds * kMillisecondsPerSecond <= kMaxMilliseconds)) {
        throw CLI::ValidationError(
            option,
            "'" + secondsText + "' is not a number of seconds from 0 to " +
                std::to_string(static_cast<int>(kMaxMilliseconds / kMillisecondsPerSecond)));
    }
    return {std::chrono::milliseconds(std::llround(seconds * kMillisecondsPerSecond)),
            ParseOhms(option, text.substr(colon + 1, comma - colon - 1)),
            ParseOhms(option, text.substr(comma + 1))};
}

std::string ParseName(const std::string& option, const std::string& text) {
    if (text.empty() || text.find_first_of(kNameForbidden) != std::string::npos) {
        throw CLI::ValidationError(option, "a port name must be non-empty and hold no '" +
                                               std::string(kNameForbidden) + "'");
    }
    return text;
}

std::string ParseSuffix(const std::string& option, const std::string& text) {
    if (text.size() != kIdentitySuffixLength) {
        throw CLI::ValidationError(option, "the suffix must be " +
                                               std::to_string(kIdentitySuffixLength) +
                                               " characters, like 99");
    }
    return text;
}

// CLI11 would list the options in the usage line but not the command after "--".
class SimHelpFormatter : public CLI::Formatter {
public:
    std::string make_usage(const CLI::App* /*app*/, std::string /*name*/) const override {
        return kUsageLine;
    }
};

constexpr const char* kSupply = "Supply";
constexpr const char* kFaults = "Faults (all off by default)";

// What an option takes: one value, a value each time it is given, or none (a flag).
enum class Takes { Value, EachTime, Nothing };

// Stores what `option` was given ("" for a flag), checked, in `options`.
using Take = void (*)(SimOptions& options, const std::string& option, const std::string& value);

// One line of the option table, in the order the help lists them.
struct SimOption {
    const char* name;
    // As the help names the value; empty for a flag.
    const char* valueName;
    const char* description;
    const char* group;
    Takes takes;
    Take take;
};

constexpr std::array kOptions = {
    SimOption{"--name", "NAME", "port name in the list (default COM3)", kSupply, Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.portName = ParseName(o, v);
              }},
    SimOption{"--load-pos", "OHMS",
              "load on the positive rail (default 100; \"inf\" for none, 0 for a short)", kSupply,
              Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.positiveLoadOhms = ParseOhms(o, v);
              }},
    SimOption{"--load-neg", "OHMS",
              "load on the negative rail (default 100; \"inf\" for none, 0 for a short)", kSupply,
              Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.negativeLoadOhms = ParseOhms(o, v);
              }},
    SimOption{"--noise", "MA", "current readings vary by up to MA either way (default 2)", kSupply,
              Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.noiseMa = ParseBounded(o, v, 0, kMaxCurrentMa);
              }},
    SimOption{"--seed", "N", "seed for noise and garbage (default 1)", kSupply, Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.seed = ParseBounded(o, v, std::uint32_t{0},
                                               std::numeric_limits<std::uint32_t>::max());
              }},
    SimOption{"--identity-suffix", "XX",
              "the two characters ending the identity reply (default 99)", kSupply, Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.identitySuffix = ParseSuffix(o, v);
              }},
    SimOption{
        "--log", "FILE", "append every command received to FILE", kSupply, Takes::Value,
        [](SimOptions& s, const std::string&, const std::string& v) { s.config.logFile = v; }},
    SimOption{
        "--link", "PATH", "make PATH a symbolic link to the terminal while the supply runs",
        kSupply, Takes::Value,
        [](SimOptions& s, const std::string&, const std::string& v) { s.config.linkPath = v; }},

    SimOption{"--load-change", "SECONDS:POS_OHMS,NEG_OHMS",
              "from SECONDS after the output first goes on, drive these loads (repeatable)",
              kFaults, Takes::EachTime,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.loadChanges.push_back(ParseLoadChange(o, v));
              }},
    SimOption{"--delay", "MS", "send each reply MS milliseconds after its command", kFaults,
              Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.replyDelay = ParseMilliseconds(o, v);
              }},
    SimOption{"--stop-after", "N", "answer only the first N commands", kFaults, Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.stopAnsweringAfter = ParseCount(o, v, 0);
              }},
    SimOption{"--resume-at", "N", "with --stop-after: answer again from the N-th command on",
              kFaults, Takes::Value,
              [](SimOptions& s, const std::string& o, const std::string& v) {
                  s.config.resumeAnsweringAt = ParseCount(o, v, 1);
              }},
    SimOption{"--garbage", "", "send random bytes in place of every reply", kFaults, Takes::Nothing,
              [](SimOptions& s, const std::string&, const std::string&) {
                  s.config.garbageReplies = true;
              }},
    SimOption{"--split", "MS", "send each reply in two halves, MS milliseconds apart", kFaults,
              Takes::Value,
              [](SimOptions& s, const std::string& o,
                 const std::string& v) { s.config.splitGap = ParseMilliseconds(o, v); }},
    SimOption{"--long-reply", "", "pad the current reply to 35 bytes", kFaults, Takes::Nothing,
              [](SimOptions& s, const std::string&, const std::string&) {
                  s.config.longCurrentReply = true;
              }},
    SimOption{"--hang-up-after", "N", "drop the line when the N-th command arrives", kFaults,
              Takes::Value,
              [](SimOptions& s, const std::string& o,
                 const std::string& v) { s.config.hangUpAfter = ParseCount(o, v, 1); }},
    SimOption{"--xoff", "", "follow every reply with an XOFF byte (0x13)", kFaults, Takes::Nothing,
              [](SimOptions& s, const std::string&, const std::string&) {
                  s.config.xoffAfterReplies = true;
              }},
    SimOption{
        "--kernel-modes", "", "keep the kernel's default terminal modes, as a real port has them",
        kFaults, Takes::Nothing,
        [](SimOptions& s, const std::string&, const std::string&) { s.config.kernelModes = true; }},
};

// The option table, bound to the options it fills.
class Parser {
public:
    Parser() : m_app("", "pelmora-sim") {
        m_app.formatter(std::make_shared<SimHelpFormatter>());
        m_app.footer(kDescription);
        m_app.set_help_flag();
        m_app.add_flag("-h,--help", m_options.showHelp, "show this help");
        m_app.add_flag("--version", m_options.showVersion, "show the version");
        for (const SimOption& option : kOptions) {
            Add(option);
        }
    }

    SimOptions Parse(std::span<const std::string_view> arguments) {
        const auto mark = std::find(arguments.begin(), arguments.end(), kCommandMark);
        if (mark != arguments.end()) {
            m_options.command.assign(mark + 1, arguments.end());
            if (m_options.command.empty()) {
                throw UsageError("'--' must be followed by a command to run");
            }
        }
        // Before the parser, which takes "--log=" as a "--log" waiting for its value.
        if (const auto empty = FindEmptyValue(arguments)) {
            throw UsageError(*empty);
        }
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(std::make_reverse_iterator(mark),
                                          std::make_reverse_iterator(arguments.begin()));
        try {
            m_app.parse(reversed);
        } catch (const CLI::ParseError& error) {
            throw UsageError(CutInputsIn(error.what(), arguments));
        }
        return m_options;
    }

    std::string Help() const { return m_app.help(); }

private:
    void Add(const SimOption& entry) {
        const std::string name = entry.name;
        const Take take = entry.take;
        SimOptions& options = m_options;
        CLI::Option* added = nullptr;
        switch (entry.takes) {
        case Takes::Value:
            added = m_app.add_option_function<std::string>(
                name, [&options, name, take](const std::string& v) { take(options, name, v); },
                entry.description);
            break;
        case Takes::EachTime:
            added = m_app
                        .add_option_function<std::vector<std::string>>(
                            name,
                            [&options, name, take](const std::vector<std::string>& values) {
                                for (const auto& value : values) {
                                    take(options, name, value);
                                }
                            },
                            entry.description)
                        ->expected(1)
                        ->take_all()
                        ->allow_extra_args(false);
            break;
        case Takes::Nothing:
            added = m_app.add_flag_callback(
                name, [&options, name, take] { take(options, name, {}); }, entry.description);
            break;
        }
        added->type_name(entry.valueName)->group(entry.group);
    }

    SimOptions m_options;
    CLI::App m_app;
};

} // namespace

SimOptions ParseArguments(std::span<const std::string_view> arguments) {
    return Parser().Parse(arguments);
}

std::string UsageText() {
    return Parser().Help();
}

} // namespace pelmora::sim
