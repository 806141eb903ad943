#include "pty_peer.h"
#include "serial_channel.h"

#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kBaud = 921600;
constexpr std::string_view kReset = "RST\r";

struct Ending {
    int status = 0;
    std::string wire;
};

// A process that opens the device, asks for last words, sends a command and ends as `end` says.
Ending RunAndEnd(const std::function<void(CSerialChannel&)>& end) {
    PseudoTerminal device;
    const pid_t child = ::fork();
    if (child == 0) {
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

TEST(LastWords, ReachTheDeviceOnACrashWhichIsStillReported) {
    for (const int signalNumber : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL}) {
        const auto ending =
            RunAndEnd([signalNumber](CSerialChannel&) { std::raise(signalNumber); });
        EXPECT_EQ(ending.wire, "V050120\rRST\r") << strsignal(signalNumber);
        EXPECT_TRUE(WIFSIGNALED(ending.status)) << strsignal(signalNumber);
        EXPECT_EQ(WTERMSIG(ending.status), signalNumber);
    }
}

TEST(LastWords, AreTakenBackWhenTheChannelCloses) {
    const auto ending = RunAndEnd([](CSerialChannel& channel) {
        channel.Close();
        std::exit(0);
    });
    EXPECT_EQ(ending.wire, "V050120\r");
}
