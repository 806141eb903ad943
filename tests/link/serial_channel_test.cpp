#include "pty_peer.h"
#include "serial_channel.h"
#include "wait_until.h"

#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

constexpr int kBaud = 921600;

std::string ReadAll(CSerialChannel& channel, int maximum) {
    std::array<char, 256> buffer{};
    const int got = channel.Read(buffer.data(), maximum);
    return std::string(buffer.data(), static_cast<std::size_t>(got));
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

TEST_F(ChannelOnPty, WriteOfNothingSendsNothing) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    EXPECT_EQ(m_channel.Write("x", 0), 0);
    EXPECT_EQ(m_channel.Write("x", -3), 0);
    EXPECT_EQ(m_device.Receive(50), "");
}

TEST_F(ChannelOnPty, HeldPortIsRefusedToASecondOpener) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    CSerialChannel second;
    EXPECT_FALSE(second.Open(3, kBaud));
    EXPECT_FALSE(second.IsOpen());
    m_channel.Close();
    EXPECT_TRUE(second.Open(3, kBaud));
}

TEST_F(ChannelOnPty, DeviceGoingAwayIsSurvived) {
    ASSERT_TRUE(m_channel.Open(3, kBaud));
    m_device.Send("AC");
    ASSERT_TRUE(WaitUntil([&] { return m_channel.BytesWaiting() == 2; }));
    m_device.HangUp();
    // Every call returns; none of them waits out its bound on a device that is gone.
    for (int i = 0; i < 3; ++i) {
        m_channel.Write("REQA\r", 5);
        ReadAll(m_channel, 30);
    }
    EXPECT_EQ(ReadAll(m_channel, 30), "");
    EXPECT_EQ(m_channel.BytesWaiting(), 0);
    EXPECT_TRUE(m_channel.Close());
}

TEST(SerialChannel, RefusesWhatIsNotATerminal) {
    const auto path = std::filesystem::temp_directory_path() / "pelmora-not-a-port";
    std::ofstream(path) << "plain file\n";
    ListedPorts listed("COM2=" + path.string() + ",COM6=/nonexistent/ttyUSB9");
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(2, kBaud));
    EXPECT_FALSE(channel.Open(6, kBaud));
    EXPECT_FALSE(channel.IsOpen());
    std::filesystem::remove(path);
}

TEST(SerialChannel, RefusesASpeedThePortCannotTake) {
    PseudoTerminal device;
    ListedPorts listed("COM3=" + device.DevicePath().string());
    CSerialChannel channel;
    EXPECT_FALSE(channel.Open(3, 12345));
    EXPECT_TRUE(channel.Open(3, kBaud));
}
