#include "link/serial_channel.h"
#include "sim/simulated_supply.h"
#include "tests/sim/line_client.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

namespace pelmora::sim {
namespace {

using namespace std::chrono_literals;
using test::kGenerousWait;
using test::kQuietPeriod;
using test::LineClient;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kIdentityLength = protocol::kIdentityReply.size();

TEST(SimFaultModesTest, StopAfterLogsButNoLongerAnswers) {
    SimConfig config;
    config.stopAnsweringAfter = 2;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    for (int i = 0; i < 2; ++i) {
        line.Send(protocol::kIdentityRequest);
        EXPECT_EQ(line.Receive(kIdentityLength), protocol::kIdentityReply);
    }
    line.Send(protocol::kIdentityRequest);
    line.Send(protocol::kCurrentRequest);
    ASSERT_TRUE(supply.WaitForCommands(4, kGenerousWait));
    EXPECT_EQ(line.Receive(1, kQuietPeriod), "");
    EXPECT_EQ(supply.Log().back().bytes, protocol::kCurrentRequest);
}

TEST(SimFaultModesTest, ResumeAtAnswersAgainFromTheNthCommand) {
    SimConfig config;
    config.stopAnsweringAfter = 1;
    config.resumeAnsweringAt = 3;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    line.Send(protocol::kIdentityRequest);
    EXPECT_EQ(line.Receive(kIdentityLength), protocol::kIdentityReply);
    line.Send(protocol::kIdentityRequest);
    ASSERT_TRUE(supply.WaitForCommands(2, kGenerousWait));
    EXPECT_EQ(line.Receive(1, kQuietPeriod), "");
    line.Send(protocol::kIdentityRequest);
    EXPECT_EQ(line.Receive(kIdentityLength), protocol::kIdentityReply);
}

TEST(SimFaultModesTest, GarbageRepliesNeverPassForAcknowledgements) {
    SimConfig config;
    config.garbageReplies = true;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    for (int i = 0; i < 20; ++i) {
        line.Send(protocol::kIdentityRequest);
        const std::string reply = line.Receive(kIdentityLength);
        ASSERT_EQ(reply.size(), kIdentityLength);
        EXPECT_EQ(reply.find("ACK"), std::string::npos) << reply;
        EXPECT_FALSE(protocol::IsIdentityReply(reply));
    }
    line.Send(protocol::kCurrentRequest);
    const std::string reply = line.Receive(protocol::kCurrentReplyLength);
    EXPECT_EQ(reply.size(), protocol::kCurrentReplyLength);
    EXPECT_FALSE(protocol::ParseCurrentReply(reply));
}

TEST(SimFaultModesTest, SplitReplyArrivesInTwoHalvesTheGapApart) {
    SimConfig config;
    config.splitGap = 1000ms;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    const auto sent = Clock::now();
    line.Send(protocol::kIdentityRequest);
    const std::size_t half = kIdentityLength / 2;
    EXPECT_EQ(line.Receive(half), protocol::kIdentityReply.substr(0, half));
    EXPECT_EQ(line.Waiting(), 0u);
    EXPECT_EQ(line.Receive(kIdentityLength - half), protocol::kIdentityReply.substr(half));
    EXPECT_GE(Clock::now() - sent, *config.splitGap);
}

TEST(SimFaultModesTest, DelayedReplyDoesNotHoldUpLaterCommands) {
    SimConfig config;
    config.replyDelay = 2000ms;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    const auto sent = Clock::now();
    line.Send(protocol::kIdentityRequest);
    ASSERT_TRUE(supply.WaitForCommands(1, kGenerousWait));
    line.Send(protocol::kResetCommand);
    ASSERT_TRUE(supply.WaitForCommands(2, kGenerousWait));

    EXPECT_EQ(line.Receive(kIdentityLength), protocol::kIdentityReply);
    EXPECT_GE(Clock::now() - sent, config.replyDelay);
    const auto log = supply.Log();
    EXPECT_LT(log[1].received - log[0].received, config.replyDelay);
}

TEST(SimFaultModesTest, LongReplyCarriesMoreThanOneReadTakes) {
    SimConfig config;
    config.longCurrentReply = true;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    line.Send(protocol::kCurrentRequest);
    const std::string reply = line.Receive(kLongReplyLength);
    EXPECT_EQ(reply.size(), kLongReplyLength);
    EXPECT_TRUE(reply.starts_with("ACKA,000,000"));
    EXPECT_EQ(line.Receive(1, kQuietPeriod), "");
}

TEST(SimFaultModesTest, HangUpDropsTheLineAsTheNthCommandArrives) {
    SimConfig config;
    config.hangUpAfter = 2;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());
    line.Send(protocol::kIdentityRequest);
    EXPECT_EQ(line.Receive(kIdentityLength), protocol::kIdentityReply);
    line.Send(protocol::kCurrentRequest);
    EXPECT_TRUE(line.WaitForHangUp());
    ASSERT_TRUE(supply.WaitForCommands(2, kGenerousWait));
    EXPECT_EQ(supply.Log().back().bytes, protocol::kCurrentRequest);
    EXPECT_FALSE(LineClient(supply.SlavePath()).IsOpen());
    // Nothing else shows up under the dropped line's name while the supply is away, even once
    // the program that had it open has let go.
    line.Close();
    SimulatedSupply other;
    EXPECT_NE(other.SlavePath(), supply.SlavePath());
    EXPECT_FALSE(LineClient(supply.SlavePath()).IsOpen());
}

TEST(SimFaultModesTest, KernelModesAndXoffAreWhatARawHostHandles) {
    SimConfig config;
    config.kernelModes = true;
    config.xoffAfterReplies = true;
    SimulatedSupply supply(config);

    const int look = ::open(supply.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(look, 0);
    termios modes{};
    ASSERT_EQ(::tcgetattr(look, &modes), 0);
    ::close(look);
    EXPECT_NE(modes.c_iflag & IXON, 0u);
    EXPECT_NE(modes.c_lflag & ICANON, 0u);

    CSerialChannel channel;
    ASSERT_TRUE(channel.OpenDevice(supply.SlavePath(), protocol::kBaudRate));
    channel.Write(protocol::kIdentityRequest.data(),
                  static_cast<int>(protocol::kIdentityRequest.size()));
    std::string reply;
    const auto deadline = Clock::now() + kGenerousWait;
    while (reply.size() < kIdentityLength + 1 && Clock::now() < deadline) {
        char buffer[32];
        reply.append(buffer, static_cast<std::size_t>(channel.Read(buffer, sizeof buffer)));
    }
    EXPECT_EQ(reply, std::string(protocol::kIdentityReply) + "\x13");
}

} // namespace
} // namespace pelmora::sim
