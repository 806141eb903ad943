#include "sim_options.h"

#include "supply_model.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace pelmora::sim {

namespace {

constexpr std::string_view kCommandMark = "--";
constexpr std::size_t kIdentitySuffixLength = kDefaultIdentitySuffix.size();
// Characters that would break the port list variable apart.
constexpr std::string_view kNameForbidden = ",=";

constexpr std::string_view kUsage =
    R"(Usage: pelmora-sim [OPTION]... [-- COMMAND [ARGUMENT]...]

A simulated dual-rail supply on a pseudo-terminal. Without a command it prints its port list
entry, PELMORA_PORTS=NAME=PATH, and serves until interrupted. With a command it runs the command
with its entry put in front of PELMORA_PORTS, and ends with the command's exit status.

Supply:
  --name NAME              port name in the list (default COM3)
  --load-pos OHMS          load on the positive rail (default 100; "inf" for none)
  --load-neg OHMS          load on the negative rail (default 100; "inf" for none)
  --noise MA               current readings vary by up to MA either way (default 2)
  --seed N                 seed for noise and garbage (default 1)
  --identity-suffix XX     the two characters ending the identity reply (default 99)
  --log FILE               append every command received to FILE
  --link PATH              make PATH a symbolic link to the terminal while the supply runs

Faults (all off by default):
  --delay MS               send each reply MS milliseconds after its command
  --stop-after N           answer only the first N commands
  --resume-at N            with --stop-after: answer again from the N-th command on
  --garbage                send random bytes in place of every reply
  --split MS               send each reply in two halves, MS milliseconds apart
  --long-reply             pad the current reply to 35 bytes
  --hang-up-after N        drop the line when the N-th command arrives
  --xoff                   follow every reply with an XOFF byte (0x13)
  --kernel-modes           leave the terminal in the kernel's default modes, as a real port
                           is before its program sets it up

  -h, --help               show this help
)";

template <typename Number>
Number ParseNumber(std::string_view option, std::string_view text, std::string_view kind) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) {
        throw UsageError(std::string(option) + ": '" + std::string(text) + "' is not " +
                         std::string(kind));
    }
    return value;
}

template <typename Number>
Number ParseInRange(std::string_view option, std::string_view text, Number minimum,
                    Number maximum) {
    const auto value = ParseNumber<Number>(option, text, "a whole number");
    if (value < minimum || value > maximum) {
        throw UsageError(std::string(option) + ": " + std::string(text) + " is outside " +
                         std::to_string(minimum) + " to " + std::to_string(maximum));
    }
    return value;
}

std::size_t ParseCount(std::string_view option, std::string_view text, std::size_t minimum) {
    return ParseInRange<std::size_t>(option, text, minimum,
                                     std::numeric_limits<std::size_t>::max());
}

std::chrono::milliseconds ParseMilliseconds(std::string_view option, std::string_view text) {
    return std::chrono::milliseconds(
        ParseInRange<int>(option, text, 0, std::numeric_limits<int>::max()));
}

double ParseOhms(std::string_view option, std::string_view text) {
    const auto ohms = ParseNumber<double>(option, text, "a number of ohms");
    if (std::isnan(ohms) || ohms <= 0.0) {
        throw UsageError(std::string(option) + ": a load must be more than 0 ohms");
    }
    return ohms;
}

std::string ParseName(std::string_view option, std::string_view text) {
    if (text.empty() || text.find_first_of(kNameForbidden) != std::string_view::npos) {
        throw UsageError(std::string(option) + ": a port name must be non-empty and hold no '" +
                         std::string(kNameForbidden) + "'");
    }
    return std::string(text);
}

std::string ParseSuffix(std::string_view option, std::string_view text) {
    if (text.size() != kIdentitySuffixLength) {
        throw UsageError(std::string(option) + ": the suffix must be " +
                         std::to_string(kIdentitySuffixLength) + " characters, like 99");
    }
    return std::string(text);
}

} // namespace

SimOptions ParseArguments(std::span<const std::string_view> arguments) {
    SimOptions options;
    SimConfig& config = options.config;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view option = arguments[i];
        if (option == kCommandMark) {
            options.command.assign(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                                   arguments.end());
            if (options.command.empty()) {
                throw UsageError("'--' must be followed by a command to run");
            }
            break;
        }
        const auto value = [&] {
            if (i + 1 == arguments.size()) {
                throw UsageError(std::string(option) + " needs a value");
            }
            return arguments[++i];
        };
        if (option == "-h" || option == "--help") {
            options.showHelp = true;
        } else if (option == "--garbage") {
            config.garbageReplies = true;
        } else if (option == "--long-reply") {
            config.longCurrentReply = true;
        } else if (option == "--xoff") {
            config.xoffAfterReplies = true;
        } else if (option == "--kernel-modes") {
            config.kernelModes = true;
        } else if (option == "--name") {
            options.portName = ParseName(option, value());
        } else if (option == "--load-pos") {
            config.positiveLoadOhms = ParseOhms(option, value());
        } else if (option == "--load-neg") {
            config.negativeLoadOhms = ParseOhms(option, value());
        } else if (option == "--noise") {
            config.noiseMa = ParseInRange(option, value(), 0, kMaxCurrentMa);
        } else if (option == "--seed") {
            config.seed = ParseInRange(option, value(), std::uint32_t{0},
                                       std::numeric_limits<std::uint32_t>::max());
        } else if (option == "--identity-suffix") {
            config.identitySuffix = ParseSuffix(option, value());
        } else if (option == "--log") {
            config.logFile = std::filesystem::path(value());
        } else if (option == "--link") {
            config.linkPath = std::filesystem::path(value());
        } else if (option == "--delay") {
            config.replyDelay = ParseMilliseconds(option, value());
        } else if (option == "--stop-after") {
            config.stopAnsweringAfter = ParseCount(option, value(), 0);
        } else if (option == "--resume-at") {
            config.resumeAnsweringAt = ParseCount(option, value(), 1);
        } else if (option == "--split") {
            config.splitGap = ParseMilliseconds(option, value());
        } else if (option == "--hang-up-after") {
            config.hangUpAfter = ParseCount(option, value(), 1);
        } else {
            throw UsageError("unknown option '" + std::string(option) + "'");
        }
    }
    return options;
}

std::string_view UsageText() {
    return kUsage;
}

} // namespace pelmora::sim
