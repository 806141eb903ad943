#include "link/posix/ending_signals_posix.h"
#include "link/serial_channel.h"
#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/cli_runner.h"
#include "tests/support/pty_peer.h"
#include "tests/support/sanitizer_build.h"
#include "tests/support/supply_ports.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

constexpr const char* kHeader = "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA";

std::size_t CountOf(const SimulatedSupply& supply, std::string_view command) {
    const auto log = supply.Log();
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const auto& logged) { return logged.bytes == command; }));
}

struct Row {
    std::string time;
    std::string elapsed;
    std::vector<std::string> readings;
};

// The rows of a recording; fails the test for a header or row out of its form, or for a last
// line that does not end.
std::vector<Row> ParseRecording(const std::string& text) {
    std::vector<Row> rows;
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "a row was left unfinished";
    std::istringstream lines(text);
    std::string line;
    EXPECT_TRUE(std::getline(lines, line) && line == kHeader) << line;
    const std::string form =
        R"((\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[-+]\d\d:\d\d),(\d+\.\d{3}),(-?\d*),(-?\d*),(-?\d*),(-?\d*))";
    while (std::getline(lines, line)) {
        const auto match = WholeMatch(line, form);
        if (!match) {
            ADD_FAILURE() << "malformed row: " << line;
            continue;
        }
        const auto& field = *match;
        rows.push_back({field[1], field[2], {field[3], field[4], field[5], field[6]}});
    }
    return rows;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CsvFile {
public:
    CsvFile() : m_path("/tmp/pelmora-monitor-" + std::to_string(::getpid()) + ".csv") {}
    ~CsvFile() { ::unlink(m_path.c_str()); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

} // namespace

TEST(CliMonitor, AveragesAreTheMeanOfTheReadingsSinceItStartedWatching) {
    SimConfig config;
    config.noiseMa = 0;
    SimulatedSupply supply(config);
    ASSERT_EQ(RunCli({"set", "5", "-5"}, Ports(supply)).exitStatus, 0);
    const auto run = RunCli({"monitor", "--samples", "12", "--interval", "0"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto rows = ParseRecording(run.out);
    ASSERT_EQ(rows.size(), 12u);
    // A steady current averages to itself from the first row on: no ramp from zero.
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].readings, (std::vector<std::string>{"50", "50", "50", "50"}))
            << "row " << i;
    }
    EXPECT_EQ(rows.front().elapsed, "0.000");
}

TEST(CliMonitor, PlannedEndLeavesTheOutputAsItFoundIt) {
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"on"}, Ports(supply)).exitStatus, 0);
    CsvFile csv;
    auto run = RunCli({"monitor", "--duration", "0.3", "--interval", "50", "--csv", csv.Path()},
                      Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const auto rows = ParseRecording(ReadFile(csv.Path()));
    EXPECT_GE(rows.size(), 3u);
    EXPECT_LE(rows.size(), 7u);
    for (const auto& row : rows) {
        EXPECT_LT(row.elapsed, "0.300");
    }
    EXPECT_EQ(CountOf(supply, pelmora::protocol::kResetCommand), 0u);
    EXPECT_TRUE(supply.State().outputOn);

    ASSERT_EQ(RunCli({"off"}, Ports(supply)).exitStatus, 0);
    run = RunCli({"monitor", "--samples", "2"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(ParseRecording(run.out).size(), 2u);
    EXPECT_EQ(supply.Log().back().bytes, pelmora::protocol::kCurrentRequest);
}

class MonitorStoppedBySignal : public ::testing::TestWithParam<int> {};

TEST_P(MonitorStoppedBySignal, SwitchesTheOutputOffAndLeavesWholeRows) {
    const int signalNumber = GetParam();
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"set", "12", "-12"}, Ports(supply)).exitStatus, 0);
    CsvFile csv;
    RunningCli monitor({"monitor", "--interval", "2", "--csv", csv.Path()}, Ports(supply));
    ASSERT_TRUE(
        WaitUntil([&] { return CountOf(supply, pelmora::protocol::kCurrentRequest) >= 5; }, 10s));
    monitor.Signal(signalNumber);
    const auto run = monitor.Finish();
    EXPECT_TRUE(run.finished) << "ended by signal " << run.endingSignal;
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_NE(run.err.find(std::string("stopped by ") + pelmora::SignalName(signalNumber)),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("output was switched off"), std::string::npos) << run.err;
    EXPECT_EQ(supply.Log().back().bytes, pelmora::protocol::kResetCommand);
    EXPECT_FALSE(supply.State().outputOn);
    const auto rows = ParseRecording(ReadFile(csv.Path()));
    EXPECT_GE(rows.size(), 5u);
    for (const auto& row : rows) {
        EXPECT_FALSE(row.readings[0].empty()) << row.time;
    }
}

INSTANTIATE_TEST_SUITE_P(StopSignals, MonitorStoppedBySignal,
                         ::testing::ValuesIn(pelmora::kStopSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });
INSTANTIATE_TEST_SUITE_P(RealTimeSignals, MonitorStoppedBySignal,
                         ::testing::Values(SIGRTMIN, SIGRTMAX),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

// While it lives, programs started from the test dump core into a directory of their own, as
// far as the system's hard limit allows.
class CoreDumpsHere {
public:
    CoreDumpsHere()
        : m_directory(std::filesystem::temp_directory_path() /
                      ("pelmora-cli-core-" + std::to_string(::getpid()))),
          m_previousDirectory(std::filesystem::current_path()) {
        ::getrlimit(RLIMIT_CORE, &m_previousLimit);
        rlimit raised = m_previousLimit;
        raised.rlim_cur = raised.rlim_max;
        ::setrlimit(RLIMIT_CORE, &raised);
        std::filesystem::create_directories(m_directory);
        std::filesystem::current_path(m_directory);
    }
    ~CoreDumpsHere() {
        std::filesystem::current_path(m_previousDirectory);
        std::filesystem::remove_all(m_directory);
        ::setrlimit(RLIMIT_CORE, &m_previousLimit);
    }
    CoreDumpsHere(const CoreDumpsHere&) = delete;
    CoreDumpsHere& operator=(const CoreDumpsHere&) = delete;

    // A sanitized program switches its own core dumps off.
    bool Allowed() const { return m_previousLimit.rlim_max != 0 && !kAddressSanitizer; }

private:
    std::filesystem::path m_directory;
    std::filesystem::path m_previousDirectory;
    rlimit m_previousLimit{};
};

class MonitorEndedByCoreSignal : public ::testing::TestWithParam<int> {};

TEST_P(MonitorEndedByCoreSignal, SwitchesTheOutputOffAndStillDumpsCore) {
    const int signalNumber = GetParam();
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"set", "12", "-12"}, Ports(supply)).exitStatus, 0);
    const CoreDumpsHere cores;
    RunningCli monitor({"monitor", "--interval", "2"}, Ports(supply));
    ASSERT_TRUE(
        WaitUntil([&] { return CountOf(supply, pelmora::protocol::kCurrentRequest) >= 3; }, 10s));
    monitor.Signal(signalNumber);
    const auto run = monitor.Finish();
    EXPECT_EQ(run.endingSignal, signalNumber) << run.err;
    if (cores.Allowed()) {
        EXPECT_TRUE(run.coreDumped) << "the core dump was lost";
    }
    // Nothing waits for the supply's answer this time: the command may still be on its way.
    EXPECT_TRUE(WaitUntil(
        [&] { return supply.Log().back().bytes == pelmora::protocol::kResetCommand; }, 10s))
        << supply.Log().back().bytes;
    EXPECT_FALSE(supply.State().outputOn);
}

INSTANTIATE_TEST_SUITE_P(CoreSignals, MonitorEndedByCoreSignal,
                         ::testing::ValuesIn(pelmora::kCoreSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

TEST(CliMonitor, InterruptedWithoutTheOutputSwitchedOffIsAFailure) {
    // The test plays the supply, and goes away between two polls, unseen by the monitor.
    PseudoTerminal device;
    CsvFile csv;
    RunningCli monitor({"monitor", "--interval", "60000", "--csv", csv.Path()},
                       "COM3=" + device.DevicePath().string());
    const auto answer = [&](std::string_view request, std::string_view reply) {
        std::string received;
        WaitUntil([&] { return (received += device.Receive(100)).ends_with(request); }, 10s);
        ASSERT_TRUE(received.ends_with(request)) << received;
        device.Send(reply);
    };
    answer(pelmora::protocol::kIdentityRequest, pelmora::protocol::kIdentityReply);
    answer(pelmora::protocol::kCurrentRequest, "ACKA,012,034\r");
    ASSERT_TRUE(WaitUntil([&] { return ParseRecording(ReadFile(csv.Path())).size() == 1; }, 10s));
    device.HangUp();
    monitor.Signal(SIGINT);
    const auto run = monitor.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.err.find("stopped by SIGINT after 1 sample(s); the output could not be "
                             "switched off") != std::string::npos)
        << run.err;
    EXPECT_EQ(ParseRecording(ReadFile(csv.Path())).size(), 1u);
}

TEST(CliMonitor, LeaveOnKeepsTheOutputOnWhenInterrupted) {
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"on"}, Ports(supply)).exitStatus, 0);
    RunningCli monitor({"monitor", "--interval", "5", "--leave-on"}, Ports(supply));
    ASSERT_TRUE(
        WaitUntil([&] { return CountOf(supply, pelmora::protocol::kCurrentRequest) >= 3; }, 10s));
    monitor.Signal(SIGINT);
    const auto run = monitor.Finish();
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(CountOf(supply, pelmora::protocol::kResetCommand), 0u);
    EXPECT_TRUE(supply.State().outputOn);
    ParseRecording(run.out);
}

TEST(CliMonitor, FailedPollsAreEmptyRowsAndTheRecordingGoesOn) {
    SimConfig config;
    config.stopAnsweringAfter = 4; // the identity and three currents
    SimulatedSupply supply(config);
    const auto run =
        RunCli({"monitor", "--samples", "6", "--interval", "0", "--wait", "200"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto rows = ParseRecording(run.out);
    ASSERT_EQ(rows.size(), 6u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool answered = i < 3;
        for (const auto& reading : rows[i].readings) {
            EXPECT_EQ(reading.empty(), !answered) << "row " << i;
        }
    }
    // Told once when the failures start, not for each of them.
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_TRUE(run.err.find("no reply to 'REQA\\r' within 200 ms") != std::string::npos);
    EXPECT_EQ(CountOf(supply, pelmora::protocol::kResetCommand), 0u);
}

TEST(CliMonitor, StopOnErrorEndsAtTheFirstFailureAndSwitchesOff) {
    SimConfig config;
    config.stopAnsweringAfter = 3;
    SimulatedSupply supply(config);
    const auto run =
        RunCli({"monitor", "--samples", "9", "--interval", "0", "--stop-on-error"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.err.find("stopped (--stop-on-error), and the output was switched off") !=
                std::string::npos)
        << run.err;
    EXPECT_EQ(ParseRecording(run.out).size(), 3u);
    EXPECT_EQ(supply.Log().back().bytes, pelmora::protocol::kResetCommand);
}

TEST(CliMonitor, LostPortEndsTheRunWithTheRowsWhole) {
    SimConfig config;
    config.hangUpAfter = 4;
    SimulatedSupply supply(config);
    CsvFile csv;
    const auto run = RunCli({"monitor", "--interval", "0", "--csv", csv.Path()}, Ports(supply));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.err.find("the port went away") != std::string::npos) << run.err;
    const auto rows = ParseRecording(ReadFile(csv.Path()));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_TRUE(rows.back().readings[0].empty());
}

TEST(CliMonitor, RecordingThatCannotBeWrittenStopsAndSwitchesOff) {
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"on"}, Ports(supply)).exitStatus, 0);
    const auto run = RunCli({"monitor", "--csv", "/dev/full"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(run.err.find("cannot write the recording (No space left on device); stopped, "
                             "and the output was switched off") != std::string::npos)
        << run.err;
    EXPECT_EQ(supply.Log().back().bytes, pelmora::protocol::kResetCommand);
    EXPECT_FALSE(supply.State().outputOn);
}

TEST(CliMonitor, ARecordingIsOverwrittenOnlyOnceTheSupplyHasAnswered) {
    CsvFile csv;
    const std::string earlier = "an earlier recording\nwith,its,rows\n\x01\xff";
    std::ofstream(csv.Path(), std::ios::binary) << earlier;
    const std::string absent = csv.Path() + ".absent";

    PseudoTerminal silent;
    const std::string noSupply = "COM1=" + silent.DevicePath().string();
    for (const std::string& file : {csv.Path(), absent}) {
        const auto run = RunCli({"monitor", "--wait", "50", "--csv", file}, noSupply);
        EXPECT_EQ(run.exitStatus, 1) << run.err;
    }
    EXPECT_EQ(ReadFile(csv.Path()), earlier);
    EXPECT_FALSE(std::filesystem::exists(absent));

    SimulatedSupply supply;
    {
        CSerialChannel holder;
        ASSERT_TRUE(holder.OpenDevice(supply.SlavePath(), pelmora::protocol::kBaudRate));
        for (const std::string& file : {csv.Path(), absent}) {
            const auto run = RunCli({"monitor", "--csv", file}, Ports(supply));
            EXPECT_EQ(run.exitStatus, 3) << run.err;
        }
    }
    EXPECT_EQ(ReadFile(csv.Path()), earlier);
    EXPECT_FALSE(std::filesystem::exists(absent));
    EXPECT_TRUE(supply.Log().empty());

    const auto run = RunCli({"monitor", "--samples", "1", "--csv", csv.Path()}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ParseRecording(ReadFile(csv.Path())).size(), 1u);
}
