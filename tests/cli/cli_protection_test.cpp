#include "cli/cli_options.h"
#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/cli_runner.h"
#include "tests/support/supply_ports.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using pelmora::protocol::kCurrentRequest;
using pelmora::protocol::kResetCommand;
using pelmora::sim::LoadChange;
using pelmora::sim::LoggedCommand;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

constexpr int kExitTripped = 4;

bool IsVoltageCommand(const LoggedCommand& logged) {
    return logged.bytes.size() == pelmora::protocol::kVoltageCommandLength &&
           logged.bytes.front() == pelmora::protocol::kVoltageCommandLead;
}

// A supply whose readings are exact: 5 V into 100 ohms reads 50 mA.
SimConfig Quiet(std::vector<LoadChange> changes = {}) {
    SimConfig config;
    config.noiseMa = 0;
    config.loadChanges = std::move(changes);
    return config;
}

class TempFile {
public:
    explicit TempFile(const std::string& text)
        : m_path("/tmp/pelmora-protection-" + std::to_string(::getpid()) + "-" +
                 std::to_string(s_count++) + ".csv") {
        std::ofstream(m_path) << text;
    }
    ~TempFile() { ::unlink(m_path.c_str()); }
    const std::string& Path() const { return m_path; }
    std::string Read() const {
        std::ifstream in(m_path);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    static inline int s_count = 0;
    std::string m_path;
};

const std::string kTripLine = R"(pelmora-cli: tripped: (pos|neg) (\d+) mA > (\d+) mA at )"
                              R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[-+]\d\d:\d\d\n)";

// ---- Over-current trip ---------------------------------------------------------------------

TEST(CliTrip, ShortOnTheNegativeRailTripsAfterTheGivenSamplesAndSwitchesOff) {
    SimulatedSupply supply(Quiet({{800ms, 100.0, 0.0}}));
    const auto run = RunCli(
        {"on", "5", "-5", "--trip-ma", "off,200", "--trip-samples", "3", "--trip-delay", "0"},
        Ports(supply));
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, kExitTripped) << run.err;
    const auto match = FirstMatch(run.err, kTripLine);
    ASSERT_TRUE(match) << run.err;
    EXPECT_EQ((*match)[1], "neg");
    EXPECT_EQ((*match)[2], "999");
    EXPECT_EQ((*match)[3], "200");
    EXPECT_FALSE(supply.State().outputOn);

    // Exactly the three polls after the short, then the reset before anything else.
    const auto log = supply.Log();
    const auto on = std::find_if(log.begin(), log.end(), IsVoltageCommand);
    ASSERT_NE(on, log.end());
    const auto reset = std::find_if(
        on, log.end(), [](const auto& logged) { return logged.bytes == kResetCommand; });
    ASSERT_NE(reset, log.end());
    const auto overPolls = std::count_if(on, reset, [&](const auto& logged) {
        return logged.bytes == kCurrentRequest && logged.received >= on->received + 800ms;
    });
    EXPECT_EQ(overPolls, 3);
    EXPECT_EQ(std::next(reset), log.end()) << "nothing after the reset";
}

TEST(CliTrip, AReadingEqualToTheLimitDoesNotTripOneAboveItDoes) {
    SimulatedSupply supply(Quiet());
    ASSERT_EQ(RunCli({"on", "5", "-5"}, Ports(supply)).exitStatus, 0);
    auto run = RunCli({"monitor", "--samples", "4", "--interval", "0", "--trip-ma", "50",
                       "--trip-samples", "1", "--trip-delay", "0"},
                      Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(supply.State().outputOn);

    run = RunCli({"monitor", "--samples", "4", "--interval", "0", "--trip-ma", "49",
                  "--trip-samples", "1", "--trip-delay", "0", "--leave-on"},
                 Ports(supply));
    EXPECT_EQ(run.exitStatus, kExitTripped) << run.err;
    EXPECT_TRUE(MatchesWithin(run.err, kTripLine)) << run.err;
    EXPECT_FALSE(supply.State().outputOn) << "a trip switches off even with --leave-on";
}

TEST(CliTrip, NothingTripsWithinTheBlankingDelay) {
    SimConfig config = Quiet();
    config.positiveLoadOhms = 0.0;
    SimulatedSupply supply(config);
    const auto run =
        RunCli({"set", "5", "-5", "--trip-ma", "100", "--trip-delay", "1.5", "--trip-samples", "1"},
               Ports(supply));
    EXPECT_EQ(run.exitStatus, kExitTripped) << run.err;
    const auto log = supply.Log();
    const auto on = std::find_if(log.begin(), log.end(), IsVoltageCommand);
    const auto reset = std::find_if(
        log.begin(), log.end(), [](const auto& logged) { return logged.bytes == kResetCommand; });
    ASSERT_NE(on, log.end());
    ASSERT_NE(reset, log.end());
    // Polls over the limit came within the delay and were let be.
    EXPECT_GE(reset->received - on->received, 1500ms);
    EXPECT_GE(std::count_if(on, reset,
                            [](const auto& logged) { return logged.bytes == kCurrentRequest; }),
              3);
}

TEST(CliTrip, AnInterruptWhileTheSupplyIsSoughtLeavesTheOutputAsItWas) {
    SimConfig config = Quiet();
    // The interrupt comes while the identity reply is awaited, well within the wait allowed.
    config.replyDelay = 1500ms;
    SimulatedSupply supply(config);
    RunningCli on({"on", "5", "-5", "--trip-ma", "500", "--wait", "5000"}, Ports(supply));
    ASSERT_TRUE(supply.WaitForCommands(1, 10s));
    on.Signal(SIGINT);
    const auto run = on.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("stopped by SIGINT before the output was switched on"),
              std::string::npos)
        << run.err;
    const auto log = supply.Log();
    EXPECT_TRUE(std::none_of(log.begin(), log.end(), IsVoltageCommand));
    EXPECT_FALSE(supply.State().outputOn);
}

TEST(CliTrip, WatchingAfterOnEndsWithTheOutputOffOnInterrupt) {
    SimulatedSupply supply(Quiet());
    RunningCli on({"on", "5", "-5", "--trip-ma", "500"}, Ports(supply));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto log = supply.Log();
            return std::count_if(log.begin(), log.end(), [](const auto& logged) {
                       return logged.bytes == kCurrentRequest;
                   }) >= 2;
        },
        10s));
    EXPECT_TRUE(supply.State().outputOn);
    on.Signal(SIGINT);
    const auto run = on.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.out.find("output on at +5V / -5V"), std::string::npos) << run.out;
    EXPECT_FALSE(supply.State().outputOn);
}

// ---- Sequences -----------------------------------------------------------------------------

TEST(CliRun, StepsStartOnScheduleWithoutDriftAndRecordTheirStep) {
    SimulatedSupply supply(Quiet());
    const std::vector<double> dwells = {0.3, 0.45, 0.3, 0.5};
    std::string program = "# up and down\ndwell_s,pos_v,neg_v\n\n";
    for (std::size_t i = 0; i < dwells.size(); ++i) {
        program += std::to_string(dwells[i]) + "," + (i % 2 == 0 ? "5" : "3") + ",-12\n";
    }
    const TempFile file(program);
    const TempFile csv("");
    const auto run =
        RunCli({"run", file.Path(), "--repeat", "2", "--csv", csv.Path()}, Ports(supply));
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("program done at step 4 of 4 in pass 2"), std::string::npos) << run.err;

    const auto log = supply.Log();
    std::vector<LoggedCommand> writes;
    std::copy_if(log.begin(), log.end(), std::back_inserter(writes), IsVoltageCommand);
    ASSERT_EQ(writes.size(), 2 * dwells.size());
    // Each start against the program's start plus the dwells before it. The promise is 20 ms;
    // the bound leaves room for a loaded machine, and is still far below what one settle
    // pause a step (100 ms) would add up to if the lateness carried over.
    std::chrono::milliseconds due{0};
    std::chrono::steady_clock::duration worst{};
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const auto late = writes[i].received - writes.front().received - due;
        worst = std::max(worst, late < late.zero() ? -late : late);
        EXPECT_LT(late < late.zero() ? -late : late, 60ms) << "step " << i;
        due += std::chrono::milliseconds(std::lround(dwells[i % dwells.size()] * 1000.0));
    }
    std::cout << "worst step start off schedule: "
              << std::chrono::duration_cast<std::chrono::microseconds>(worst).count() << " us\n";
    const auto last = log.back();
    EXPECT_EQ(last.bytes, kResetCommand);
    // The last step is held in full before the reset; the two receipts carry the same jitter
    // as the starts, so the promise bounds it too.
    EXPECT_GE(last.received - writes.front().received, due - 20ms);
    EXPECT_FALSE(supply.State().outputOn);

    std::istringstream rows(csv.Read());
    std::string line;
    std::getline(rows, line);
    EXPECT_EQ(line, "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA,step");
    std::size_t count = 0;
    while (std::getline(rows, line)) {
        ++count;
        const std::string step = line.substr(line.rfind(',') + 1);
        const std::string reading = line.substr(line.find(',', line.find(',') + 1) + 1, 2);
        // Odd steps hold 5 V, even ones 3 V.
        EXPECT_EQ(reading, std::stoi(step) % 2 == 1 ? "50" : "30") << line;
    }
    EXPECT_GE(count, 2 * dwells.size());
}

TEST(CliRun, ASupplyThatStopsAnsweringEndsTheProgramWithTheOutputOff) {
    SimConfig config = Quiet();
    // The first step's command and one poll are answered; then nothing for a while.
    config.stopAnsweringAfter = 4;
    config.resumeAnsweringAt = 8;
    SimulatedSupply supply(config);
    const TempFile file("1.2,5,-12\n0.6,3,-12\n0.6,5,-12\n0.6,3,-12\n");
    const auto run = RunCli({"run", file.Path(), "--wait", "300"}, Ports(supply));
    // With the protection blind the program does not go on to its later steps.
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("stopped at step 1 of 4"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the output was switched off"), std::string::npos) << run.err;
    const auto log = supply.Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), IsVoltageCommand), 1);
    EXPECT_EQ(log.back().bytes, kResetCommand);
}

struct BadProgram {
    // Names the case in the test's name.
    const char* name;
    const char* text;
    const char* where;
};

class CliRunRefuses : public ::testing::TestWithParam<BadProgram> {};

TEST_P(CliRunRefuses, ABadFileWithNothingSent) {
    SimulatedSupply supply;
    const TempFile file(GetParam().text);
    const auto run = RunCli({"run", file.Path()}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_NE(run.err.find(file.Path() + GetParam().where), std::string::npos) << run.err;
    EXPECT_TRUE(supply.Log().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, CliRunRefuses,
    ::testing::Values(BadProgram{"VoltageBetweenSteps", "0.5,5,-5\n0.5,5.25,-5\n", ":2: pos_v"},
                      BadProgram{"DwellShorterThanAPoll",
                                 "dwell_s,pos_v,neg_v\n0.5,5,-5\n# short\n0.2,5,-5\n",
                                 ":4: dwell_s"},
                      BadProgram{"DwellNoNumber", "0.5,5,-5\nsoon,5,-5\n", ":2: dwell_s"},
                      BadProgram{"MissingField", "0.5,5\n", ":1: neg_v"},
                      BadProgram{"NoSteps", "# nothing but comments\n\n", ": "}),
    [](const ::testing::TestParamInfo<BadProgram>& each) { return each.param.name; });

TEST(CliRun, ATripStopsTheProgramAtItsStepEvenWithLeaveOn) {
    SimulatedSupply supply(Quiet({{1000ms, 0.0, 100.0}}));
    const TempFile file("0.6,5,-5\n2,6,-6\n0.6,7,-7\n0.6,8,-8\n");
    const auto run = RunCli({"run", file.Path(), "--leave-on", "--trip-ma", "400", "--trip-samples",
                             "1", "--trip-delay", "0.1"},
                            Ports(supply));
    EXPECT_EQ(run.exitStatus, kExitTripped) << run.err;
    EXPECT_NE(run.err.find("stopped at step 2 of 4\n"), std::string::npos) << run.err;
    EXPECT_TRUE(MatchesWithin(run.err, kTripLine)) << run.err;
    EXPECT_FALSE(supply.State().outputOn);
    const auto log = supply.Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), IsVoltageCommand), 2);
}

TEST(CliRun, ASignalStopsAtOnceAndSaysWhichStep) {
    SimulatedSupply supply(Quiet());
    const TempFile file("0.3,5,-5\n30,6,-6\n0.3,7,-7\n");
    RunningCli running({"run", file.Path()}, Ports(supply));
    ASSERT_TRUE(WaitUntil(
        [&] {
            const auto log = supply.Log();
            return std::count_if(log.begin(), log.end(), IsVoltageCommand) == 2;
        },
        10s));
    running.Signal(SIGTERM);
    const auto run = running.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find("stopped by SIGTERM at step 2 of 3; the output was switched off"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(supply.State().outputOn);
}

TEST(CliRun, ALostSupplyStopsTheProgramAndSaysWhichStep) {
    SimConfig config = Quiet();
    // The identity request, the first step and two polls, then the line drops.
    config.hangUpAfter = 5;
    SimulatedSupply supply(config);
    const TempFile file("0.3,5,-5\n5,6,-6\n");
    const auto run = RunCli({"run", file.Path()}, Ports(supply));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_NE(run.err.find("stopped at step "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the output could not be switched off"), std::string::npos) << run.err;
}

TEST(CliRun, LeaveOnKeepsTheLastStepsVoltages) {
    SimulatedSupply supply(Quiet());
    const TempFile file("0.3,5,-5\n0.3,12,-12\n");
    const auto run = RunCli({"run", file.Path(), "--leave-on", "-q"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(supply.State().outputOn);
    EXPECT_EQ(supply.State().positiveCode, "120");
    EXPECT_EQ(supply.Log().back().bytes, kCurrentRequest);
}

// ---- The command line ----------------------------------------------------------------------

pelmora::cli::ParsedCommandLine Parse(std::initializer_list<std::string_view> arguments) {
    return pelmora::cli::ParseCommandLine(std::span(arguments.begin(), arguments.size()));
}

TEST(TripOptions, OneLimitWatchesBothRailsAndTheRangesAreChecked) {
    auto parsed = Parse({"monitor", "--trip-ma", "120", "--trip-delay", "0.25"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    ASSERT_TRUE(parsed.options->trip);
    EXPECT_TRUE(parsed.options->trip->positive.enabled && parsed.options->trip->negative.enabled);
    EXPECT_EQ(parsed.options->trip->negative.limitMa, 120);
    EXPECT_EQ(parsed.options->trip->blanking, 250ms);
    EXPECT_EQ(parsed.options->trip->samples, 2);

    parsed = Parse({"on", "--trip-ma", "off,998"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_FALSE(parsed.options->trip->positive.enabled);
    EXPECT_FALSE(Parse({"on"}).options->trip);

    for (const auto& bad : {std::vector<std::string_view>{"on", "--trip-ma", "0"},
                            {"on", "--trip-ma", "999"},
                            {"on", "--trip-ma", "off,off"},
                            {"on", "--trip-ma", "100", "--trip-samples", "11"},
                            {"on", "--trip-ma", "100", "--trip-delay", "10.5"},
                            {"on", "--trip-ma", "100", "--trip-delay", "-1"},
                            {"set", "5", "5", "--trip-samples", "3"},
                            {"run", "x.csv", "--repeat", "2", "--forever"}}) {
        const auto refused = pelmora::cli::ParseCommandLine(bad);
        EXPECT_FALSE(refused.options) << bad[2];
        EXPECT_EQ(refused.exitStatus, 2);
    }
}

} // namespace
