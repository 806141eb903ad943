#include "link/serial_channel.h"
#include "tests/support/win32/simulated_port_win32.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

namespace {

constexpr int kBaud = 921600;
constexpr std::string_view kReset = "RST\r";
constexpr int kExitStatus = 7;
// What an access violation ends a process with.
constexpr unsigned kAccessViolation = 0xC0000005;
// What abort() ends a process with.
constexpr int kAbortStatus = 3;

using Commands = std::vector<std::string>;

// Opens the supply, asks for last words, sends a command and ends as `end` says; it runs in a
// process of its own, which the death test starts.
void OpenSendAndEnd(const SimulatedPort& supply, const std::function<void(CSerialChannel&)>& end) {
    // A crash is reported by the exit status alone, without the system's crash dialog or
    // debugger.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    CSerialChannel channel;
    if (!channel.Open(supply.Number(), kBaud)) {
        std::_Exit(100);
    }
    channel.SetLastWords(kReset);
    channel.Write("V050120\r", 8);
    end(channel);
    std::_Exit(101);
}

class LastWords : public ::testing::Test {
protected:
    void SetUp() override { m_before = m_supply.Commands().size(); }

    SimulatedPort m_supply{"SUPPLY"};
    std::size_t m_before = 0;
};

} // namespace

TEST_F(LastWords, ReachTheDeviceWhenTheProcessExitsWithoutClosing) {
    EXPECT_EXIT(OpenSendAndEnd(m_supply, [](CSerialChannel&) { std::exit(kExitStatus); }),
                ::testing::ExitedWithCode(kExitStatus), "");
    EXPECT_EQ(m_supply.CommandsAfter(m_before, 2), (Commands{"V050120\\r", "RST\\r"}));
}

TEST_F(LastWords, ReachTheDeviceOnACrashWhichIsStillReported) {
    EXPECT_EXIT(OpenSendAndEnd(m_supply,
                               [](CSerialChannel&) {
                                   volatile int* nowhere = nullptr;
                                   *nowhere = 1;
                               }),
                ::testing::ExitedWithCode(static_cast<int>(kAccessViolation)), "");
    EXPECT_EQ(m_supply.CommandsAfter(m_before, 2), (Commands{"V050120\\r", "RST\\r"}));
}

TEST_F(LastWords, ReachTheDeviceOnAbort) {
    EXPECT_EXIT(OpenSendAndEnd(m_supply, [](CSerialChannel&) { std::abort(); }),
                ::testing::ExitedWithCode(kAbortStatus), "");
    EXPECT_EQ(m_supply.CommandsAfter(m_before, 2), (Commands{"V050120\\r", "RST\\r"}));
}

TEST_F(LastWords, AreTakenBackWhenTheChannelCloses) {
    EXPECT_EXIT(OpenSendAndEnd(m_supply,
                               [](CSerialChannel& channel) {
                                   channel.Close();
                                   std::exit(0);
                               }),
                ::testing::ExitedWithCode(0), "");
    // Nothing follows the command: the next one logged is the test's own.
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(m_supply.Number(), kBaud));
    channel.Write("REQA\r", 5);
    EXPECT_EQ(m_supply.CommandsAfter(m_before, 2), (Commands{"V050120\\r", "REQA\\r"}));
}
