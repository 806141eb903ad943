#include "link/serial_channel.h"
#include "tests/support/channel_reads.h"
#include "tests/support/other_user.h"
#include "tests/support/pty_peer.h"
#include "tests/support/wait_until.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using pelmora::PortProblem;

namespace {

constexpr int kBaud = 921600;

std::string EveryByteValue() {
    std::string bytes;
    for (int value = 0; value < 256; ++value) {
        bytes += static_cast<char>(value);
    }
    return bytes;
}

// What a user without privileges gets from opening the device: 0 when it opens, else errno.
int OpenErrorForOtherUser(const std::filesystem::path& device) {
    return RunAsUnprivilegedUser([&](std::string&) {
               const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
               return fd >= 0 ? 0 : errno;
           })
        .exitCode;
}

class ChannelOnPty : public ::testing::Test {
protected:
    ChannelOnPty()
        : m_listed("COM3=" + m_device.DevicePath().string() +
                   ",COM5=" + m_other.DevicePath().string()) {}

    PseudoTerminal m_device;
    PseudoTerminal m_other;
    ListedPorts m_listed;
    CSerialChannel m_channel;
};

} // namespace

TEST_F(ChannelOnPty, OpenAndCloseFollowTheirStates) {
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_TRUE(m_channel.Close());
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_TRUE(m_channel.IsOpen());

    // Opening again, even another port, keeps the first one.
    EXPECT_TRUE(m_channel.Open(5, kBaud));
    EXPECT_EQ(m_channel.Write("X", 1), 1);
    EXPECT_EQ(m_device.Receive(), "X");
    EXPECT_EQ(m_other.Receive(50), "");

    EXPECT_TRUE(m_channel.Close());
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_TRUE(m_channel.Close());

    // A closed channel can be opened again, on another port.
    ASSERT_TRUE(m_channel.Open(5, kBaud));
    m_channel.Write("Y", 1);
    EXPECT_EQ(m_other.Receive(), "Y");
}

TEST_F(ChannelOnPty, ClosedOrUnlistedChannelDoesNothing) {
    EXPECT_FALSE(m_channel.Open(4, kBaud));
    EXPECT_FALSE(m_channel.IsOpen());
    std::array<char, 4> buffer{'a', 'b', 'c', 'd'};
    EXPECT_EQ(m_channel.Write("RST\r", 4), 0);
    EXPECT_EQ(m_channel.BytesWaiting(), 0);
    EXPECT_EQ(m_channel.Read(buffer.data(), 4), 0);
    EXPECT_EQ(std::string(buffer.data(), 4), "abcd");
    EXPECT_EQ(m_device.Receive(50), "");
}

TEST_F(ChannelOnPty, ReadTakesOnlyWhatArrivedUpToTheMaximum) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    std::array<char, 4> untouched{'a', 'b', 'c', 'd'};
    EXPECT_EQ(m_channel.Read(untouched.data(), 4), 0);
    EXPECT_EQ(std::string(untouched.data(), 4), "abcd");

    std::string fifty;
    for (int i = 0; i < 50; ++i) {
        fifty += static_cast<char>('0' + i % 10);
    }
    m_device.Send(fifty);
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 50; }));
    EXPECT_EQ(ReadAll(m_channel, 30), fifty.substr(0, 30));
    EXPECT_EQ(m_channel.BytesWaiting(), 20);
    EXPECT_EQ(ReadAll(m_channel, 30), fifty.substr(30));
    EXPECT_EQ(ReadAll(m_channel, 30), "");
}

TEST_F(ChannelOnPty, BytesPassUntranslatedBothWays) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    const std::string toDevice("V050120\r\n\x03\x1a\x7f\xff", 13);
    EXPECT_EQ(m_channel.Write(toDevice.data(), static_cast<int>(toDevice.size())), 13);
    EXPECT_EQ(m_device.Receive(), toDevice);

    const std::string fromDevice("ACKA,012,034\r\n\x03\x1a\x7f\xff", 18);
    m_device.Send(fromDevice);
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 18; }));
    EXPECT_EQ(ReadAll(m_channel, 30), fromDevice);
    EXPECT_EQ(m_device.Receive(50), ""); // nothing echoed
}

TEST_F(ChannelOnPty, EveryByteValueCrossesUnchangedFromTheKernelsDefaultModes) {
    // The port as a fresh device comes: flow control, translation, echo and line editing on.
    const termios before = m_device.SlaveModes();
    ASSERT_NE(before.c_iflag & IXON, 0u);
    ASSERT_NE(before.c_iflag & ICRNL, 0u);
    ASSERT_NE(before.c_lflag & ICANON, 0u);

    ASSERT_TRUE(m_channel.Open(3, kBaud));
    const std::string all = EveryByteValue();
    EXPECT_EQ(m_channel.Write(all.data(), static_cast<int>(all.size())), 256);
    EXPECT_EQ(m_device.Receive(), all);
    m_device.Send(all);
    EXPECT_EQ(ReadCount(m_channel, all.size()), all);
    EXPECT_EQ(m_device.Receive(50), ""); // nothing echoed
}

TEST_F(ChannelOnPty, XoffFromTheDeviceIsDataAndHoldsNoWriteBack) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    m_device.Send("\x13");
    EXPECT_EQ(ReadCount(m_channel, 1), "\x13");
    m_channel.Write("RST\r", 4);
    EXPECT_EQ(m_device.Receive(), "RST\r");
    m_device.Send("\x11");
    EXPECT_EQ(ReadCount(m_channel, 1), "\x11");
}

TEST_F(ChannelOnPty, WriteOfNothingSendsNothing) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_EQ(m_channel.Write("x", 0), 0);
    EXPECT_EQ(m_channel.Write("x", -3), 0);
    EXPECT_EQ(m_device.Receive(50), "");
}

TEST_F(ChannelOnPty, HeldPortIsRefusedToASecondOpenerWhichNamesTheHolder) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_EQ(m_channel.DevicePath(), m_device.DevicePath());
    CSerialChannel second;
    EXPECT_FALSE(second.Open(3, kBaud));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastOpenFailure().problem, PortProblem::Busy);
    ASSERT_TRUE(second.LastOpenFailure().holder);
    EXPECT_EQ(second.LastOpenFailure().holder->pid, ::getpid());
    m_channel.Close();
    EXPECT_TRUE(m_channel.DevicePath().empty());
    EXPECT_TRUE(second.Open(3, kBaud));
    EXPECT_EQ(second.LastOpenFailure().problem, PortProblem::None);
}

TEST_F(ChannelOnPty, RefusedOpenLeavesTheHoldersExclusiveUse) {
    if (!CanRunUnprivileged()) {
        GTEST_SKIP() << "no unprivileged user to open the port as";
    }
    // Anyone may open the device but for its being held: a refusal then means exclusive use.
    ASSERT_EQ(::chmod(m_device.DevicePath().c_str(), 0666), 0);
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_EQ(OpenErrorForOtherUser(m_device.DevicePath()), EBUSY);

    CSerialChannel second;
    EXPECT_FALSE(second.Open(3, kBaud));
    EXPECT_EQ(OpenErrorForOtherUser(m_device.DevicePath()), EBUSY);
    const int look = ::open(m_device.DevicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (look >= 0) { // root gets in all the same, and can see the flag
        int exclusive = 0;
        EXPECT_EQ(::ioctl(look, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        ::close(look);
    }

    m_channel.Close();
    EXPECT_EQ(OpenErrorForOtherUser(m_device.DevicePath()), 0);
}

TEST_F(ChannelOnPty, DeviceGoingAwayIsToldFromASilentOne) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    // Silence is not a hang-up.
    EXPECT_FALSE(m_channel.LookForHangUp());
    m_channel.Write("REQA\r", 5);
    EXPECT_EQ(ReadAll(m_channel, 30), "");
    EXPECT_FALSE(m_channel.IsGone());

    m_device.Send("AC");
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 2; }));
    m_device.HangUp();
    EXPECT_TRUE(m_channel.LookForHangUp());
    EXPECT_TRUE(m_channel.IsGone());
    EXPECT_TRUE(m_channel.IsOpen());
    // Every call returns at once on a device that is gone.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m_channel.Write("REQA\r", 5), 0);
        EXPECT_EQ(ReadAll(m_channel, 30), "");
    }
    EXPECT_EQ(m_channel.BytesWaiting(), 0);
    EXPECT_TRUE(m_channel.Close());
    EXPECT_FALSE(m_channel.IsGone());
}

TEST_F(ChannelOnPty, ExchangesNoticeTheDeviceGoingAway) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    m_device.HangUp();
    // Without looking for it, the next exchange finds it.
    m_channel.Write("REQA\r", 5);
    ReadAll(m_channel, 30);
    EXPECT_TRUE(m_channel.IsGone());
}

TEST_F(ChannelOnPty, WaitForInputEndsWithTheFirstBytesOrTheTimeout) {
    using Clock = std::chrono::steady_clock;
    using LineWait = CSerialChannel::LineWait;
    EXPECT_EQ(m_channel.WaitForInput(0), LineWait::Gone); // closed
    ASSERT_TRUE(m_channel.Open(3, kBaud));

    const auto before = Clock::now();
    EXPECT_EQ(m_channel.WaitForInput(40), LineWait::TimedOut);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(40));

    std::thread device([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        m_device.Send("ACKA");
    });
    EXPECT_EQ(m_channel.WaitForInput(5000), LineWait::Done);
    device.join();
    EXPECT_EQ(ReadCount(m_channel, 4), "ACKA");
    // Bytes already queued end the wait at once, even one of no time at all.
    m_device.Send("X");
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 1; }));
    EXPECT_EQ(m_channel.WaitForInput(0), LineWait::Done);
}

TEST_F(ChannelOnPty, DeviceGoneEndsEveryWaitInsteadOfLookingReadable) {
    using LineWait = CSerialChannel::LineWait;
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    m_device.HangUp();
    EXPECT_EQ(m_channel.WaitForInput(5000), LineWait::Gone);
    EXPECT_TRUE(m_channel.IsGone());
    EXPECT_EQ(m_channel.WriteWhole("REQA\r"), LineWait::Gone);
}

TEST_F(ChannelOnPty, AWholeCommandThatMeetsAHangUpMarksTheDeviceGone) {
    using LineWait = CSerialChannel::LineWait;
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    m_device.HangUp();
    EXPECT_EQ(m_channel.WriteWhole("REQA\r"), LineWait::Gone);
    EXPECT_TRUE(m_channel.IsGone());
}

TEST_F(ChannelOnPty, WriteWholeHandsOverTheCommandInOneGo) {
    using LineWait = CSerialChannel::LineWait;
    EXPECT_EQ(m_channel.WriteWhole("RST\r"), LineWait::Gone); // closed
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_EQ(m_channel.WriteWhole("V050120\r"), LineWait::Done);
    EXPECT_EQ(m_channel.WriteWhole(""), LineWait::Done);
    EXPECT_EQ(m_device.Receive(), "V050120\r");
}

TEST(SerialChannel, RefusesWhatIsNotATerminalAndSaysWhy) {
    const auto path = std::filesystem::temp_directory_path() / "pelmora-not-a-port";
    std::ofstream(path) << "plain file\n";
    ListedPorts listed("COM2=" + path.string() + ",COM6=/nonexistent/ttyUSB9,COM7=/dev/null");
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(2, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotCharacterDevice);
    EXPECT_FALSE(channel.Open(6, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::Missing);
    EXPECT_FALSE(channel.Open(7, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotTerminal);
    EXPECT_FALSE(channel.Open(8, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotListed);
    EXPECT_FALSE(channel.IsOpen());
    std::filesystem::remove(path);
}

TEST(SerialChannel, LeavesWhatIsNoDeviceUnopened) {
    // A FIFO stands for any node that does something when opened: the channel must not open it.
    const auto path =
        std::filesystem::temp_directory_path() / ("pelmora-fifo-" + std::to_string(::getpid()));
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, path.c_str(), IN_OPEN), 0);
    std::array<char, 1024> events{};

    CSerialChannel channel;
    EXPECT_FALSE(channel.OpenDevice(path, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotCharacterDevice);
    EXPECT_LT(::read(watch, events.data(), events.size()), 0) << "the FIFO was opened";

    // The watch does see an open.
    ::close(::open(path.c_str(), O_RDWR | O_NONBLOCK));
    EXPECT_GT(::read(watch, events.data(), events.size()), 0);
    ::close(watch);
    std::filesystem::remove(path);
}

TEST(SerialChannel, PermissionDeniedNamesTheGroupThatOpensTheDevice) {
    if (!CanRunUnprivileged()) {
        GTEST_SKIP() << "no unprivileged user to open the port as";
    }
    PseudoTerminal device;
    ASSERT_EQ(::chmod(device.DevicePath().c_str(), 0), 0);
    ASSERT_TRUE(GiveToDialoutGroup(device.DevicePath()));
    struct stat node {};
    ASSERT_EQ(::stat(device.DevicePath().c_str(), &node), 0);
    const group* owner = ::getgrgid(node.st_gid);
    ASSERT_NE(owner, nullptr);
    const std::string groupName = owner->gr_name;

    const auto result = RunAsUnprivilegedUser([&](std::string& report) {
        CSerialChannel channel;
        const bool opened = channel.OpenDevice(device.DevicePath(), kBaud);
        report = pelmora::DescribeOpenFailure(channel.LastOpenFailure());
        return opened ? 0 : static_cast<int>(channel.LastOpenFailure().problem);
    });
    EXPECT_EQ(result.exitCode, static_cast<int>(PortProblem::PermissionDenied));
    EXPECT_EQ(result.report, "permission denied: the device belongs to group " + groupName +
                                 "; run 'sudo usermod -aG " + groupName +
                                 " $USER', then log in again");
}

TEST(SerialChannel, RefusesASpeedThePortCannotTake) {
    PseudoTerminal device;
    ListedPorts listed("COM3=" + device.DevicePath().string());
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(3, 12345));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::UnsupportedSpeed);
    EXPECT_TRUE(channel.Open(3, kBaud));
}
