#include "sim/sim_options.h"

#include "cli11_support/bounded_number.h"
#include "link/command_input.h"
#include "sim/supply_model.h"

#include <CLI/CLI.hpp>
#include <algorithm>
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

// The option table, bound to the options it fills.
class Parser {
public:
    Parser() : m_app("", "pelmora-sim") {
        m_app.formatter(std::make_shared<SimHelpFormatter>());
        m_app.footer(kDescription);
        m_app.set_help_flag();
        m_app.add_flag("-h,--help", m_options.showHelp, "show this help");
        m_app.add_flag("--version", m_options.showVersion, "show the version");

        SimConfig& config = m_options.config;
        Value("--name", "NAME", "port name in the list (default COM3)", kSupply,
              [this](const std::string& o, const std::string& v) {
                  m_options.portName = ParseName(o, v);
              });
        Value("--load-pos", "OHMS",
              "load on the positive rail (default 100; \"inf\" for none, 0 for a short)", kSupply,
              [&config](const std::string& o, const std::string& v) {
                  config.positiveLoadOhms = ParseOhms(o, v);
              });
        Value("--load-neg", "OHMS",
              "load on the negative rail (default 100; \"inf\" for none, 0 for a short)", kSupply,
              [&config](const std::string& o, const std::string& v) {
                  config.negativeLoadOhms = ParseOhms(o, v);
              });
        Value("--noise", "MA", "current readings vary by up to MA either way (default 2)", kSupply,
              [&config](const std::string& o, const std::string& v) {
                  config.noiseMa = ParseBounded(o, v, 0, kMaxCurrentMa);
              });
        Value("--seed", "N", "seed for noise and garbage (default 1)", kSupply,
              [&config](const std::string& o, const std::string& v) {
                  config.seed = ParseBounded(o, v, std::uint32_t{0},
                                             std::numeric_limits<std::uint32_t>::max());
              });
        Value("--identity-suffix", "XX",
              "the two characters ending the identity reply (default 99)", kSupply,
              [&config](const std::string& o, const std::string& v) {
                  config.identitySuffix = ParseSuffix(o, v);
              });
        Value("--log", "FILE", "append every command received to FILE", kSupply,
              [&config](const std::string&, const std::string& v) { config.logFile = v; });
        Value("--link", "PATH", "make PATH a symbolic link to the terminal while the supply runs",
              kSupply,
              [&config](const std::string&, const std::string& v) { config.linkPath = v; });

        m_app
            .add_option_function<std::vector<std::string>>(
                std::string(kLoadChangeOption),
                [&config](const std::vector<std::string>& values) {
                    for (const auto& value : values) {
                        config.loadChanges.push_back(
                            ParseLoadChange(std::string(kLoadChangeOption), value));
                    }
                },
                "from SECONDS after the output first goes on, drive these loads (repeatable)")
            ->type_name("SECONDS:POS_OHMS,NEG_OHMS")
            ->expected(1)
            ->take_all()
            ->allow_extra_args(false)
            ->group(kFaults);
        Value("--delay", "MS", "send each reply MS milliseconds after its command", kFaults,
              [&config](const std::string& o, const std::string& v) {
                  config.replyDelay = ParseMilliseconds(o, v);
              });
        Value("--stop-after", "N", "answer only the first N commands", kFaults,
              [&config](const std::string& o, const std::string& v) {
                  config.stopAnsweringAfter = ParseCount(o, v, 0);
              });
        Value("--resume-at", "N", "with --stop-after: answer again from the N-th command on",
              kFaults, [&config](const std::string& o, const std::string& v) {
                  config.resumeAnsweringAt = ParseCount(o, v, 1);
              });
        m_app
            .add_flag("--garbage", config.garbageReplies,
                      "send random bytes in place of every reply")
            ->group(kFaults);
        Value("--split", "MS", "send each reply in two halves, MS milliseconds apart", kFaults,
              [&config](const std::string& o, const std::string& v) {
                  config.splitGap = ParseMilliseconds(o, v);
              });
        m_app
            .add_flag("--long-reply", config.longCurrentReply, "pad the current reply to 35 bytes")
            ->group(kFaults);
        Value("--hang-up-after", "N", "drop the line when the N-th command arrives", kFaults,
              [&config](const std::string& o, const std::string& v) {
                  config.hangUpAfter = ParseCount(o, v, 1);
              });
        m_app
            .add_flag("--xoff", config.xoffAfterReplies,
                      "follow every reply with an XOFF byte (0x13)")
            ->group(kFaults);
        m_app
            .add_flag("--kernel-modes", config.kernelModes,
                      "keep the kernel's default terminal modes, as a real port has them")
            ->group(kFaults);
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
    static constexpr const char* kSupply = "Supply";
    static constexpr std::string_view kLoadChangeOption = "--load-change";
    static constexpr const char* kFaults = "Faults (all off by default)";

    // An option with a value, which `take` checks and stores under the option's name.
    template <typename Take>
    void Value(const std::string& name, const char* valueName, const char* description,
               const char* group, Take take) {
        m_app
            .add_option_function<std::string>(
                name, [name, take](const std::string& value) { take(name, value); }, description)
            ->type_name(valueName)
            ->group(group);
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
