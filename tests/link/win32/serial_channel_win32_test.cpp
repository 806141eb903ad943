#include "link/serial_channel.h"
#include "link/supply_protocol.h"
#include "tests/support/channel_reads.h"
#include "tests/support/listed_ports.h"
#include "tests/support/wait_until.h"
#include "tests/support/win32/simulated_port_win32.h"

#include <array>
#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <windows.h>

using pelmora::PortProblem;
using LineWait = CSerialChannel::LineWait;
using Commands = std::vector<std::string>;

namespace {

constexpr int kBaud = 921600;
constexpr char kXoff = '\x13';
// The current reply of the supply that pads it, ending in its carriage return.
constexpr std::size_t kLongReplyLength = 35;

int Send(CSerialChannel& channel, std::string_view command) {
    return channel.Write(command.data(), static_cast<int>(command.size()));
}

// What the port says of software flow control before anyone has set it.
bool ReportsSoftwareFlowControl(const std::filesystem::path& device) {
    const HANDLE port = ::CreateFileA(device.string().c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    DCB reported{};
    reported.DCBlength = sizeof reported;
    const bool read = port != INVALID_HANDLE_VALUE && ::GetCommState(port, &reported);
    ::CloseHandle(port);
    return read && reported.fOutX;
}

// A healthy supply, and one that pads its current reply to 35 bytes.
class ChannelOnSimulatedPorts : public ::testing::Test {
protected:
    SimulatedPort m_supply{"SUPPLY"};
    SimulatedPort m_long{"LONG"};
    CSerialChannel m_channel;
};

} // namespace

TEST_F(ChannelOnSimulatedPorts, OpenAndCloseFollowTheirStates) {
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_TRUE(m_channel.Close());
    ASSERT_TRUE(m_channel.Open(m_supply.Number(), kBaud));
    EXPECT_TRUE(m_channel.IsOpen());
    EXPECT_EQ(m_channel.DevicePath(), m_supply.DevicePath());

    // Opening again, even another port, keeps the first one.
    const std::size_t supplyBefore = m_supply.Commands().size();
    const std::size_t longBefore = m_long.Commands().size();
    EXPECT_TRUE(m_channel.Open(m_long.Number(), kBaud));
    EXPECT_EQ(Send(m_channel, "V010010\r"), 8);
    EXPECT_EQ(m_supply.CommandsAfter(supplyBefore, 1), Commands{"V010010\\r"});

    EXPECT_TRUE(m_channel.Close());
    EXPECT_FALSE(m_channel.IsOpen());
    EXPECT_TRUE(m_channel.DevicePath().empty());
    EXPECT_TRUE(m_channel.Close());

    // A closed channel can be opened again, on another port.
    ASSERT_TRUE(m_channel.Open(m_long.Number(), kBaud));
    Send(m_channel, "RST\r");
    EXPECT_EQ(m_long.CommandsAfter(longBefore, 1), Commands{"RST\\r"});
}

TEST_F(ChannelOnSimulatedPorts, PortsListedByPathOpenAsTheSystemsOwn) {
    const ListedPorts listed("COM42=" + m_supply.DevicePath().string());
    ASSERT_TRUE(m_channel.Open(42, kBaud));
    EXPECT_EQ(m_channel.DevicePath(), m_supply.DevicePath());
    EXPECT_FALSE(CSerialChannel().Open(m_supply.Number(), kBaud)) << "no longer listed";
}

TEST(SerialChannel, ClosedOrUnlistedChannelDoesNothing) {
    const ListedPorts listed("COM3=\\\\.\\COM3");
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(4, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotListed);
    std::array<char, 4> buffer{'a', 'b', 'c', 'd'};
    EXPECT_EQ(channel.Write("RST\r", 4), 0);
    EXPECT_EQ(channel.BytesWaiting(), 0);
    EXPECT_EQ(channel.Read(buffer.data(), 4), 0);
    EXPECT_EQ(std::string(buffer.data(), 4), "abcd");
    EXPECT_EQ(channel.WaitForInput(0), LineWait::Gone);
    EXPECT_EQ(channel.WriteWhole("RST\r"), LineWait::Gone);
}

TEST(SerialChannel, SaysWhyWhatIsNoPortCouldNotBeOpened) {
    const auto file = std::filesystem::temp_directory_path() / "pelmora-not-a-port";
    std::ofstream(file) << "plain file\n";
    const ListedPorts listed("COM2=" + file.string() + ",COM6=\\\\.\\COM97,COM7=\\\\.\\NUL");
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(2, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotCharacterDevice);
    EXPECT_FALSE(channel.Open(6, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::Missing);
    EXPECT_FALSE(channel.Open(7, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotTerminal);
    EXPECT_FALSE(channel.IsOpen());
    std::filesystem::remove(file);
}

TEST(SerialChannel, LeavesWhatIsNoDeviceUnopened) {
    // A pipe stands for any path whose opening does something: its server sees a client come.
    const std::string pipe =
        "\\\\.\\pipe\\pelmora-not-a-port-" + std::to_string(::GetCurrentProcessId());
    const HANDLE server =
        ::CreateNamedPipeA(pipe.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED, PIPE_TYPE_BYTE,
                           1, 64, 64, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);

    CSerialChannel channel;
    EXPECT_FALSE(channel.OpenDevice(pipe, kBaud));
    EXPECT_EQ(channel.LastOpenFailure().problem, PortProblem::NotCharacterDevice);
    // Still waiting for its first client: a client that came and went would show as no data.
    OVERLAPPED waiting{};
    waiting.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_FALSE(::ConnectNamedPipe(server, &waiting));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << "the pipe was opened";
    ::CancelIoEx(server, &waiting);
    DWORD ignored = 0;
    ::GetOverlappedResult(server, &waiting, &ignored, TRUE);
    ::CloseHandle(waiting.hEvent);
    ::CloseHandle(server);
}

TEST_F(ChannelOnSimulatedPorts, ReadTakesOnlyWhatArrivedUpToTheMaximum) {
    ASSERT_TRUE(m_channel.Open(m_long.Number(), kBaud));
    std::array<char, 4> untouched{'a', 'b', 'c', 'd'};
    EXPECT_EQ(m_channel.Read(untouched.data(), 4), 0);
    EXPECT_EQ(std::string(untouched.data(), 4), "abcd");

    // 35 bytes of current reply and 15 of identity reply.
    Send(m_channel, pelmora::protocol::kCurrentRequest);
    Send(m_channel, pelmora::protocol::kIdentityRequest);
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 50; }));
    const std::string first = ReadAll(m_channel, 30);
    EXPECT_EQ(first.substr(0, 4), "ACKA");
    EXPECT_EQ(first.size(), 30u);
    EXPECT_EQ(m_channel.BytesWaiting(), 20);
    const std::string rest = ReadAll(m_channel, 30);
    ASSERT_EQ(rest.size(), 20u);
    // Carriage returns arrive untranslated.
    EXPECT_EQ(rest[kLongReplyLength - 30 - 1], '\r');
    EXPECT_EQ(rest.substr(kLongReplyLength - 30), pelmora::protocol::kIdentityReply);
    EXPECT_EQ(ReadAll(m_channel, 30), "");
}

// This supply keeps the kernel's default terminal modes, as a real port comes, and follows every
// reply with an XOFF. Only this test opens it, since the modes the channel sets stay with it.
TEST(SerialChannel, DeviceWithTheKernelsModesAndAnXoffGetsEveryByteThrough) {
    const SimulatedPort supply("XOFF");
    ASSERT_TRUE(ReportsSoftwareFlowControl(supply.DevicePath()))
        << "the port no longer has the modes it came with";
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(supply.Number(), kBaud));
    const std::string expected = std::string(pelmora::protocol::kIdentityReply) + kXoff;
    for (int round = 0; round < 3; ++round) {
        // Software flow control would hold this write back after the first XOFF.
        Send(channel, pelmora::protocol::kIdentityRequest);
        EXPECT_EQ(ReadCount(channel, expected.size()), expected) << "round " << round;
    }
    EXPECT_EQ(supply.CommandsAfter(0, 3), Commands(3, "REQPN\\r"));
}

TEST_F(ChannelOnSimulatedPorts, HeldPortIsRefusedToASecondOpenerHoweverItIsNamed) {
    ASSERT_TRUE(m_channel.Open(m_supply.Number(), kBaud));
    CSerialChannel second;
    EXPECT_FALSE(second.Open(m_supply.Number(), kBaud));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(second.LastOpenFailure().problem, PortProblem::Busy);
    std::string lowercase = m_supply.DevicePath().string();
    for (char& c : lowercase) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    EXPECT_FALSE(second.OpenDevice(lowercase, kBaud));
    EXPECT_EQ(second.LastOpenFailure().problem, PortProblem::Busy);
    EXPECT_EQ(pelmora::DescribeOpenFailure(second.LastOpenFailure()),
              "busy: in use by another program");

    m_channel.Close();
    EXPECT_TRUE(second.Open(m_supply.Number(), kBaud));
    EXPECT_EQ(second.LastOpenFailure().problem, PortProblem::None);
}

TEST_F(ChannelOnSimulatedPorts, WaitForInputEndsWithTheFirstBytesOrTheTimeout) {
    using Clock = std::chrono::steady_clock;
    EXPECT_EQ(m_channel.WaitForInput(0), LineWait::Gone); // closed
    ASSERT_TRUE(m_channel.Open(m_supply.Number(), kBaud));

    const auto before = Clock::now();
    EXPECT_EQ(m_channel.WaitForInput(40), LineWait::TimedOut);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(40));

    Send(m_channel, pelmora::protocol::kIdentityRequest);
    EXPECT_EQ(m_channel.WaitForInput(5000), LineWait::Done);
    // Bytes already queued end the wait at once, even one of no time at all.
    ASSERT_TRUE(WaitUntil([&] {
        return m_channel.BytesWaiting() ==
               static_cast<int>(pelmora::protocol::kIdentityReply.size());
    }));
    EXPECT_EQ(m_channel.WaitForInput(0), LineWait::Done);
}

TEST_F(ChannelOnSimulatedPorts, WriteWholeHandsOverTheCommandInOneGo) {
    EXPECT_EQ(m_channel.WriteWhole("RST\r"), LineWait::Gone); // closed
    ASSERT_TRUE(m_channel.Open(m_supply.Number(), kBaud));
    const std::size_t before = m_supply.Commands().size();
    EXPECT_EQ(m_channel.WriteWhole("V050120\r"), LineWait::Done);
    EXPECT_EQ(m_channel.WriteWhole(""), LineWait::Done);
    EXPECT_EQ(m_supply.CommandsAfter(before, 1), Commands{"V050120\\r"});
}

// The supply that hangs up drops its line when its second command arrives.
TEST(SerialChannel, DeviceHangingUpIsToldFromASilentOneAndEndsEveryWait) {
    const SimulatedPort hangingUp("HANGUP");
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(hangingUp.Number(), kBaud));
    Send(channel, pelmora::protocol::kIdentityRequest);
    EXPECT_EQ(ReadCount(channel, pelmora::protocol::kIdentityReply.size()),
              pelmora::protocol::kIdentityReply);
    // Silence is not a hang-up.
    EXPECT_EQ(channel.WaitForInput(30), LineWait::TimedOut);
    EXPECT_FALSE(channel.LookForHangUp());

    Send(channel, pelmora::protocol::kResetCommand);
    ASSERT_EQ(hangingUp.CommandsAfter(0, 2).size(), 2u);
    EXPECT_EQ(channel.WaitForInput(5000), LineWait::Gone);
    EXPECT_TRUE(channel.IsGone());
    EXPECT_TRUE(channel.LookForHangUp());
    EXPECT_TRUE(channel.IsOpen());
    // Every call returns at once on a device that is gone.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Send(channel, pelmora::protocol::kCurrentRequest), 0);
        EXPECT_EQ(ReadAll(channel, 30), "");
        EXPECT_EQ(channel.WaitForInput(5000), LineWait::Gone);
    }
    EXPECT_EQ(channel.WriteWhole(pelmora::protocol::kCurrentRequest), LineWait::Gone);
    EXPECT_EQ(channel.BytesWaiting(), 0);
    EXPECT_TRUE(channel.Close());
    EXPECT_FALSE(channel.IsGone());
}
