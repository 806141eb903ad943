#include "cli/remote_supply.h"

#include "cli/cli_error.h"
#include "cli/voltage_argument.h"
#include "link/command_input.h"
#include "link/escaped_bytes.h"
#include "server/farewell.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace pelmora::cli {

namespace {

constexpr char kAnswerSeparator = ';';
constexpr char kQuote = '"';
constexpr double kMilliampsPerAmp = 1000.0;
// A step's volts as the server writes them back: "5.00000E+00" is 5 V.
constexpr double kVoltTolerance = 1e-3;

// Lines as they go to the server. Changes go in a line of their own: the session takes its
// lines one after another, so the next line's error queries answer for them, and no wait is
// needed that a running program would stretch.
constexpr std::string_view kIdentityQuery = "*IDN?";
constexpr std::string_view kSelfTestQuery = "*TST?";
constexpr std::string_view kSelfTestPassed = "0";
constexpr std::string_view kOffLine = "OUTP OFF";
constexpr std::string_view kOnTail = ";:OUTP ON";
// The client's own errors since its change, then the state that change left.
constexpr std::string_view kOffCheck = "SYST:ERR?;:OUTP?";
constexpr std::string_view kOnCheck = "SYST:ERR?;:OUTP?;:APPL? POS;APPL? NEG";
// Both rails from one current request; each query that fails queues an error, so two are read.
constexpr std::string_view kPollLine = "MEAS:CURR? POS;CURR? NEG;:SYST:ERR?;ERR?";
constexpr std::size_t kPollErrorAnswers = 2;
constexpr std::string_view kPortLine = "SYST:PORT?";
constexpr std::string_view kOn = "1";
constexpr std::string_view kOff = "0";
// A Pelmora server's *IDN? answer: "Pelmora,<model>,<serial>,<version>".
constexpr std::string_view kManufacturer = "Pelmora";
constexpr std::size_t kIdentityFields = 4;
constexpr char kFieldSeparator = ',';

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

std::string JoinAnswers(const std::vector<std::string>& answers) {
    std::string text;
    for (const auto& answer : answers) {
        if (!text.empty()) {
            text.push_back(kAnswerSeparator);
        }
        text += answer;
    }
    return text;
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

bool IsPelmoraIdentity(std::string_view answer) {
    const auto fields = std::count(answer.begin(), answer.end(), kFieldSeparator);
    return answer.starts_with(std::string(kManufacturer) + kFieldSeparator) &&
           static_cast<std::size_t>(fields) == kIdentityFields - 1;
}

std::string RemoteSupply::Unexpected(std::string_view line, std::string_view reply) const {
    return Name() + ": unexpected reply to '" + std::string(line) + "': '" +
           EscapeBytes(CutInput(reply)) + "'; is a Pelmora server listening there?";
}

RemoteSupply::RemoteSupply(const RemoteAddress& address, int waitMs, ByteTrace& trace)
    : m_link(address, waitMs, trace) {
    // Nothing is changed before it is known who answers: an echo, another instrument on the
    // SCPI port or a peer sending garbage would take anything and report success.
    const std::string answer = ReplyTo(kIdentityQuery);
    if (!IsPelmoraIdentity(answer)) {
        throw CliError(kExitNoSupply, Name() + ": no Pelmora server answers there: '" +
                                          std::string(kIdentityQuery) + "' was answered with '" +
                                          EscapeBytes(CutInput(answer)) + "'");
    }
    m_identity = EscapeBytes(answer);
}

std::string RemoteSupply::ReplyTo(std::string_view line) {
    RemoteReply reply = m_link.Ask(line);
    if (reply.end != RemoteEnd::Complete) {
        throw CliError(kExitNoSupply, reply.problem);
    }
    // The server's last line to a client it does not keep, in place of a reply.
    if (reply.text.starts_with(server::kFarewellPrefix)) {
        throw CliError(
            kExitNoSupply,
            Name() + ": the server " +
                EscapeBytes(
                    CutInput(std::string_view(reply.text).substr(server::kFarewellPrefix.size()))));
    }
    return reply.text;
}

std::vector<std::string> RemoteSupply::Answers(std::string_view line) {
    return SplitAnswers(ReplyTo(line));
}

std::string RemoteSupply::Identity() {
    const std::string selfTest = ReplyTo(kSelfTestQuery);
    if (selfTest != kSelfTestPassed) {
        throw CliError(kExitNoSupply, Name() + ": the server's supply does not answer (" +
                                          m_identity + "); check the cable and the supply's power");
    }
    return m_identity;
}

std::vector<std::string> RemoteSupply::Change(std::string_view change, std::string_view check) {
    if (!m_link.Tell(change)) {
        // Why it could not be sent is what the next line finds.
        ReplyTo(check);
    }
    auto answers = Answers(check);
    if (answers.empty() || answers.front().empty()) {
        throw CliError(kExitNoSupply, Unexpected(check, {}));
    }
    if (ErrorNumber(answers.front()) != 0) {
        throw CliError(kExitNoSupply, DescribeError(Name(), answers.front()));
    }
    return answers;
}

void RemoteSupply::SwitchOn(std::string_view positiveCode, std::string_view negativeCode) {
    const std::string positive(StepText(positiveCode, Rail::Positive));
    const std::string negative(StepText(negativeCode, Rail::Negative));
    // One line, so the supply gets one voltage command with both rails.
    const auto answers =
        Change("APPL POS," + positive + ";:APPL NEG," + negative + std::string(kOnTail), kOnCheck);
    // What the server holds now, not only that it queued no error, says the change was made.
    const auto volts = [](std::string_view answer) { return std::strtod(answer.data(), nullptr); };
    if (answers.size() != 4 || answers[1] != kOn ||
        std::fabs(volts(answers[2]) - std::strtod(positive.c_str(), nullptr)) > kVoltTolerance ||
        std::fabs(volts(answers[3]) - std::strtod(negative.c_str(), nullptr)) > kVoltTolerance) {
        throw CliError(kExitNoSupply, Name() +
                                          ": the server did not take the change: it reports '" +
                                          EscapeBytes(CutInput(JoinAnswers(answers))) + "' to '" +
                                          std::string(kOnCheck) + "'");
    }
}

void RemoteSupply::SwitchOff() {
    const auto answers = Change(kOffLine, kOffCheck);
    if (answers.size() != 2 || answers[1] != kOff) {
        throw CliError(kExitNoSupply, Name() +
                                          ": the output is still on at the server: it "
                                          "reports '" +
                                          EscapeBytes(CutInput(JoinAnswers(answers))) + "' to '" +
                                          std::string(kOffCheck) + "'");
    }
}

PolledCurrents RemoteSupply::Poll() {
    PolledCurrents polled;
    const RemoteReply reply = m_link.Ask(kPollLine);
    if (reply.end != RemoteEnd::Complete) {
        polled.problem = reply.problem;
        polled.lost = reply.end == RemoteEnd::Closed;
        return polled;
    }
    if (reply.text.starts_with(server::kFarewellPrefix)) {
        polled.problem = Name() + ": the server " +
                         EscapeBytes(CutInput(
                             std::string_view(reply.text).substr(server::kFarewellPrefix.size())));
        polled.lost = true;
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
