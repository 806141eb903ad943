#include "remote_supply.h"

#include "cli_error.h"
#include "escaped_bytes.h"
#include "voltage_argument.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace pelmora::cli {

namespace {

constexpr char kAnswerSeparator = ';';
constexpr char kQuote = '"';
constexpr double kMilliampsPerAmp = 1000.0;

// Lines as they go to the server. The changes reach the supply at *WAI, and the error queries
// after it answer for them.
constexpr std::string_view kIdentityLine = "*IDN?;*TST?";
constexpr std::string_view kSelfTestPassed = "0";
constexpr std::string_view kOffLine = "OUTP OFF;*WAI;:SYST:ERR?";
constexpr std::string_view kOnTail = ";:OUTP ON;*WAI;:SYST:ERR?";
// Both rails from one current request; each query that fails queues an error, so two are read.
constexpr std::string_view kPollLine = "MEAS:CURR? POS;CURR? NEG;:SYST:ERR?;ERR?";
constexpr std::size_t kPollErrorAnswers = 2;
constexpr std::string_view kPortLine = "SYST:PORT?";

constexpr int kHardwareError = -240;
constexpr int kHardwareMissing = -241;
constexpr int kSettingsConflict = -221;

// The error answer as a user reads it, with what to do.
std::string DescribeError(const std::string& server, std::string_view answer) {
    switch (ErrorNumber(answer)) {
    case kHardwareError:
        return server + ": the supply did not answer the server (" + std::string(answer) +
               "); check the cable and the supply's power";
    case kHardwareMissing:
        return server + ": the supply's port went away at the server (" + std::string(answer) +
               "); reconnect the supply: the server finds it again, with the output off";
    case kSettingsConflict:
        return server + ": the server refused the change (" + std::string(answer) +
               "): an over-current trip keeps the output off until CURR:PROT:CLE clears it, a "
               "running program takes no changes until it ends or ABOR stops it, a list program "
               "whose lists disagree does not start, and a lost supply stays off until it is "
               "reconnected";
    default:
        break;
    }
    return server + ": the server reports " + std::string(answer);
}

std::string Unquoted(std::string_view text) {
    if (text.size() >= 2 && text.front() == kQuote && text.back() == kQuote) {
        text = text.substr(1, text.size() - 2);
    }
    return std::string(text);
}

} // namespace

std::vector<std::string> SplitAnswers(std::string_view reply) {
    std::vector<std::string> answers;
    for (;;) {
        const auto separator = reply.find(kAnswerSeparator);
        answers.emplace_back(reply.substr(0, separator));
        if (separator == std::string_view::npos) {
            return answers;
        }
        reply.remove_prefix(separator + 1);
    }
}

int ErrorNumber(std::string_view answer) {
    int number = 0;
    const auto [end, problem] =
        std::from_chars(answer.data(), answer.data() + answer.size(), number);
    if (problem != std::errc{} || end == answer.data() + answer.size() || *end != ',') {
        return 0;
    }
    return number;
}

std::optional<int> Milliamps(std::string_view amps) {
    double value = 0.0;
    const auto [end, problem] = std::from_chars(amps.data(), amps.data() + amps.size(), value);
    if (problem != std::errc{} || end != amps.data() + amps.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    const double milliamps = std::round(value * kMilliampsPerAmp);
    if (std::fabs(milliamps) > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(milliamps);
}

std::string RemoteSupply::Unexpected(std::string_view line, std::string_view reply) const {
    return Name() + ": unexpected reply to '" + std::string(line) + "': '" + EscapeBytes(reply) +
           "'; is a Pelmora server listening there?";
}

RemoteSupply::RemoteSupply(const RemoteAddress& address, int waitMs, ByteTrace& trace)
    : m_link(address, waitMs, trace) {}

std::vector<std::string> RemoteSupply::Answers(std::string_view line) {
    RemoteReply reply = m_link.Ask(line);
    if (reply.end != RemoteEnd::Complete) {
        throw CliError(kExitNoSupply, reply.problem);
    }
    return SplitAnswers(reply.text);
}

std::string RemoteSupply::Identity() {
    const RemoteReply reply = m_link.Ask(kIdentityLine);
    if (reply.end != RemoteEnd::Complete) {
        throw CliError(kExitNoSupply, reply.problem);
    }
    const auto answers = SplitAnswers(reply.text);
    if (answers.size() != 2) {
        throw CliError(kExitNoSupply, Unexpected(kIdentityLine, reply.text));
    }
    if (answers[1] != kSelfTestPassed) {
        throw CliError(kExitNoSupply, Name() + ": the server's supply does not answer (" +
                                          EscapeBytes(answers[0]) +
                                          "); check the cable and the supply's power");
    }
    return EscapeBytes(answers[0]);
}

void RemoteSupply::Change(std::string_view line) {
    for (const auto& answer : Answers(line)) {
        if (ErrorNumber(answer) != 0) {
            throw CliError(kExitNoSupply, DescribeError(Name(), answer));
        }
    }
}

void RemoteSupply::SwitchOn(std::string_view positiveCode, std::string_view negativeCode) {
    // One line, so the supply gets one voltage command with both rails.
    Change("APPL POS," + std::string(StepText(positiveCode, Rail::Positive)) + ";:APPL NEG," +
           std::string(StepText(negativeCode, Rail::Negative)) + std::string(kOnTail));
}

void RemoteSupply::SwitchOff() {
    Change(kOffLine);
}

PolledCurrents RemoteSupply::Poll() {
    PolledCurrents polled;
    const RemoteReply reply = m_link.Ask(kPollLine);
    if (reply.end != RemoteEnd::Complete) {
        polled.problem = reply.problem;
        polled.lost = reply.end == RemoteEnd::Closed;
        return polled;
    }
    const auto answers = SplitAnswers(reply.text);
    if (answers.size() == kPollErrorAnswers + 2) {
        const auto positive = Milliamps(answers[0]);
        const auto negative = Milliamps(answers[1]);
        if (positive && negative) {
            polled.reading = protocol::CurrentReading{*positive, *negative};
            return polled;
        }
    }
    for (const auto& answer : answers) {
        if (const int error = ErrorNumber(answer); error != 0) {
            polled.problem = DescribeError(Name(), answer);
            polled.lost = error == kHardwareMissing;
            return polled;
        }
    }
    polled.problem = Unexpected(kPollLine, reply.text);
    return polled;
}

SupplyAccess::Place RemoteSupply::Where() {
    return {Name(), Unquoted(Answers(kPortLine).front())};
}

} // namespace pelmora::cli
