#include "link/posix/ending_signals_posix.h"
#include "link/serial_channel.h"
#include "tests/support/pty_peer.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kBaud = 921600;
constexpr std::string_view kReset = "RST\r";

struct Ending {
    int status = 0;
    std::string wire;
};

// A process that makes its own arrangements (`prepare`), opens the device, asks for last words,
// sends a command and ends as `end` says.
Ending RunAndEnd(
    const std::function<void(CSerialChannel&)>& end, const std::function<void()>& prepare = [] {}) {
    PseudoTerminal device;
    const pid_t child = ::fork();
    if (child == 0) {
        prepare();
        CSerialChannel channel;
        if (!channel.OpenDevice(device.DevicePath(), kBaud)) {
            ::_exit(100);
        }
        channel.SetLastWords(kReset);
        channel.Write("V050120\r", 8);
        end(channel);
        ::_exit(101);
    }
    Ending ending;
    ::waitpid(child, &ending.status, 0);
    ending.wire = device.Receive();
    return ending;
}

} // namespace

TEST(LastWords, ReachTheDeviceWhenTheProcessExitsWithoutClosing) {
    const auto ending = RunAndEnd([](CSerialChannel&) { std::exit(1); });
    EXPECT_EQ(ending.wire, "V050120\rRST\r");
}

class LastWordsOnASignal : public ::testing::TestWithParam<int> {};

// The child dumps core in a directory of its own, which goes with the test.
TEST_P(LastWordsOnASignal, ReachTheDeviceAndTheSignalStillEndsTheProcessWithItsCore) {
    const int signalNumber = GetParam();
    const auto directory =
        std::filesystem::temp_directory_path() / ("pelmora-core-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto ending = RunAndEnd([signalNumber](CSerialChannel&) { std::raise(signalNumber); },
                                  [&directory] {
                                      const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
                                      ::setrlimit(RLIMIT_CORE, &unlimited);
                                      if (::chdir(directory.c_str()) != 0) {
                                          ::_exit(102);
                                      }
                                  });
    std::filesystem::remove_all(directory);
    EXPECT_EQ(ending.wire, "V050120\rRST\r");
    ASSERT_TRUE(WIFSIGNALED(ending.status)) << ending.status;
    EXPECT_EQ(WTERMSIG(ending.status), signalNumber);
    EXPECT_TRUE(WCOREDUMP(ending.status)) << "the core dump was lost";
}

INSTANTIATE_TEST_SUITE_P(CoreSignals, LastWordsOnASignal,
                         ::testing::ValuesIn(pelmora::kCoreSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

class LastWordsOnAStopSignal : public ::testing::TestWithParam<int> {};

// A program that arms last words without handling the signal itself.
TEST_P(LastWordsOnAStopSignal, ReachTheDeviceWhenNothingElseHandlesIt) {
    const int signalNumber = GetParam();
    const auto ending = RunAndEnd([signalNumber](CSerialChannel&) { std::raise(signalNumber); });
    EXPECT_EQ(ending.wire, "V050120\rRST\r");
    ASSERT_TRUE(WIFSIGNALED(ending.status)) << ending.status;
    EXPECT_EQ(WTERMSIG(ending.status), signalNumber);
    EXPECT_FALSE(WCOREDUMP(ending.status));
}

TEST_P(LastWordsOnAStopSignal, LeaveAHandlerOrAnIgnoredSignalAsTheProgramSetIt) {
    const int signalNumber = GetParam();
    static volatile std::sig_atomic_t handled = 0;
    for (const auto action : {+[](int) { handled = 1; }, SIG_IGN}) {
        const auto ending = RunAndEnd(
            [signalNumber, action](CSerialChannel&) {
                std::raise(signalNumber);
                ::_exit(action == SIG_IGN || handled != 0 ? 0 : 103);
            },
            [signalNumber, action] { std::signal(signalNumber, action); });
        EXPECT_EQ(ending.wire, "V050120\r");
        EXPECT_TRUE(WIFEXITED(ending.status) && WEXITSTATUS(ending.status) == 0) << ending.status;
    }
}

INSTANTIATE_TEST_SUITE_P(StopSignals, LastWordsOnAStopSignal,
                         ::testing::ValuesIn(pelmora::kStopSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });
INSTANTIATE_TEST_SUITE_P(RealTimeSignals, LastWordsOnAStopSignal,
                         ::testing::Values(SIGRTMIN, SIGRTMAX),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

TEST(LastWords, AreTakenBackWhenTheChannelCloses) {
    const auto ending = RunAndEnd([](CSerialChannel& channel) {
        channel.Close();
        std::exit(0);
    });
    EXPECT_EQ(ending.wire, "V050120\r");
}
