#include "link/serial_channel.h"
#include "sim/simulated_supply.h"
#include "tests/sim/line_client.h"
#include "tests/support/other_user.h"
#include "tests/support/pty_peer.h"
#include "tests/support/wait_until.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora::sim {
namespace {

using test::kGenerousWait;
using test::LineClient;
using test::Quiet;

std::string CurrentReply(LineClient& line) {
    line.Send(protocol::kCurrentRequest);
    return line.Receive(protocol::kCurrentReplyLength);
}

TEST(SimulatedSupplyTest, AnswersTheIdentityRequestWithItsSuffix) {
    SimulatedSupply healthy;
    LineClient line(healthy.SlavePath());
    ASSERT_TRUE(line.IsOpen());
    line.Send(protocol::kIdentityRequest);
    EXPECT_EQ(line.Receive(protocol::kIdentityReply.size()), protocol::kIdentityReply);

    SimConfig config;
    config.identitySuffix = "01";
    SimulatedSupply other(config);
    LineClient otherLine(other.SlavePath());
    otherLine.Send(protocol::kIdentityRequest);
    EXPECT_EQ(otherLine.Receive(protocol::kIdentityReply.size()), "ACKPNDRELVOV01\r");
}

// Each reply is read right after its command, so a stray reply to a voltage, reset or unknown
// command would show up at the front of the next one.
TEST(SimulatedSupplyTest, OutputFollowsVoltageAndResetCommands) {
    SimConfig config = Quiet();
    config.positiveLoadOhms = 50.0;
    config.negativeLoadOhms = 200.0;
    SimulatedSupply supply(config);
    LineClient line(supply.SlavePath());

    EXPECT_EQ(CurrentReply(line), "ACKA,000,000\r");
    line.Send("V050120\r");
    EXPECT_EQ(CurrentReply(line), "ACKA,100,060\r");
    EXPECT_TRUE(supply.State().outputOn);

    line.Send("V055050\r");
    line.Send("V13001\r");
    line.Send("REQB\r");
    line.Send("REQAREQA\r");
    EXPECT_EQ(CurrentReply(line), "ACKA,100,060\r");
    EXPECT_EQ(supply.State().positiveCode, "050");

    line.Send(protocol::kResetCommand);
    EXPECT_EQ(CurrentReply(line), "ACKA,000,000\r");
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(line.Waiting(), 0u);
}

TEST(SimulatedSupplyTest, LogHoldsEveryCommandInOrderWithItsArrival) {
    SimulatedSupply supply(Quiet());
    LineClient line(supply.SlavePath());
    const auto before = std::chrono::steady_clock::now();
    // A command may come in pieces, and several may come in one write.
    line.Send("RE");
    line.Send("QPN\r");
    line.Send("V010010\rREQA\rRST\r");
    line.Send("junk\r");
    ASSERT_TRUE(supply.WaitForCommands(5, kGenerousWait));
    const auto after = std::chrono::steady_clock::now();

    const auto log = supply.Log();
    const std::array<std::string_view, 5> expected = {"REQPN\r", "V010010\r", "REQA\r", "RST\r",
                                                      "junk\r"};
    ASSERT_EQ(log.size(), expected.size());
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].bytes, expected[i]);
        EXPECT_GE(log[i].received, i == 0 ? before : log[i - 1].received);
        EXPECT_LE(log[i].received, after);
    }
}

TEST(SimulatedSupplyTest, LineSurvivesTheProgramClosingAndReopeningIt) {
    SimulatedSupply supply;
    for (int session = 0; session < 3; ++session) {
        LineClient line(supply.SlavePath());
        ASSERT_TRUE(line.IsOpen()) << "session " << session;
        line.Send(protocol::kIdentityRequest);
        EXPECT_EQ(line.Receive(protocol::kIdentityReply.size()), protocol::kIdentityReply);
        line.Close();
        // Reopening at once could beat the simulator to noticing that the line was closed.
        std::this_thread::sleep_for(test::kQuietPeriod);
    }
}

TEST(SimulatedSupplyTest, SerialChannelReachesItThroughThePortList) {
    SimulatedSupply supply;
    const ListedPorts listed("COM7=" + supply.SlavePath().string());
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(7, protocol::kBaudRate));
    channel.Write(protocol::kIdentityRequest.data(),
                  static_cast<int>(protocol::kIdentityRequest.size()));
    ASSERT_TRUE(WaitUntil([&channel] {
        return channel.BytesWaiting() >= static_cast<int>(protocol::kIdentityReply.size());
    }));
    std::array<char, protocol::kReplyCapacity> reply{};
    const int got = channel.Read(reply.data(), protocol::kReplyCapacity);
    EXPECT_TRUE(protocol::IsIdentityReply(protocol::ReplyText(reply.data(), got)));
}

TEST(SimulatedSupplyTest, StopDropsTheLine) {
    SimulatedSupply supply;
    LineClient line(supply.SlavePath());
    supply.Stop();
    EXPECT_TRUE(line.WaitForHangUp());
    supply.Stop();
}

} // namespace
TEST(SimulatedSupplyLinkTest, LinksItsTerminalWhileItRunsAndLeavesALaterOneAlone) {
    const auto link =
        std::filesystem::temp_directory_path() / ("pelmora-sim-link-" + std::to_string(::getpid()));
    SimConfig config;
    config.linkPath = link;
    auto first = std::make_unique<SimulatedSupply>(config);
    EXPECT_EQ(std::filesystem::read_symlink(link), first->SlavePath());
    {
        SimulatedSupply second(config);
        EXPECT_EQ(std::filesystem::read_symlink(link), second.SlavePath());
        first.reset();
        EXPECT_EQ(std::filesystem::read_symlink(link), second.SlavePath());
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));

    std::ofstream(link) << "not a link\n";
    EXPECT_THROW(SimulatedSupply{config}, std::filesystem::filesystem_error);
    std::filesystem::remove(link);
}

namespace {

constexpr int kBaud = 921600;

// What a user without privileges gets from opening the port: 0 when it opens, else errno. Root
// would get in whatever the terminal's exclusive mode.
int OpenErrorForOtherUser(const std::filesystem::path& device) {
    return RunAsUnprivilegedUser([&](std::string&) {
               const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
               return fd >= 0 ? 0 : errno;
           })
        .exitCode;
}

// A client holding the port as the panel and pelmora-cli do, until it is killed outright.
class HoldingClient {
public:
    explicit HoldingClient(const std::filesystem::path& device) {
        std::array<int, 2> ready{-1, -1};
        if (::pipe(ready.data()) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            CSerialChannel channel;
            const char held = channel.OpenDevice(device, kBaud) ? 1 : 0;
            [[maybe_unused]] const auto written = ::write(ready[1], &held, 1);
            ::pause();
            ::_exit(0);
        }
        ::close(ready[1]);
        char held = 0;
        m_holding = ::read(ready[0], &held, 1) == 1 && held == 1;
        ::close(ready[0]);
    }
    ~HoldingClient() { Kill(); }
    HoldingClient(const HoldingClient&) = delete;
    HoldingClient& operator=(const HoldingClient&) = delete;

    bool Holding() const { return m_holding; }
    void Kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
    }

private:
    pid_t m_pid = -1;
    bool m_holding = false;
};

class SimulatedPortHold : public ::testing::Test {
protected:
    void SetUp() override {
        if (!CanRunUnprivileged()) {
            GTEST_SKIP() << "no unprivileged user to open the port as";
        }
        // Anyone may open it but for its being held: a refusal then means exclusive mode.
        ASSERT_EQ(::chmod(m_supply.SlavePath().c_str(), 0666), 0);
    }

    SimulatedSupply m_supply;
};

} // namespace

TEST_F(SimulatedPortHold, GoesWithAClientKilledOutright) {
    HoldingClient client(m_supply.SlavePath());
    ASSERT_TRUE(client.Holding());
    EXPECT_EQ(OpenErrorForOtherUser(m_supply.SlavePath()), EBUSY);
    client.Kill();
    EXPECT_TRUE(
        WaitUntil([&] { return OpenErrorForOtherUser(m_supply.SlavePath()) == 0; }, kGenerousWait));
    // The line is still up for the next client.
    LineClient next(m_supply.SlavePath());
    next.Send(protocol::kIdentityRequest);
    EXPECT_EQ(next.Receive(protocol::kIdentityReply.size()), protocol::kIdentityReply);
}

// As on a real device, exclusive mode lasts until the last close, whoever set it.
TEST_F(SimulatedPortHold, StaysWhileAnotherStillHasThePortOpen) {
    const int bystander = ::open(m_supply.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(bystander, 0);
    HoldingClient client(m_supply.SlavePath());
    ASSERT_TRUE(client.Holding());
    client.Kill();
    // The supply has taken in the client's close before it reads a command sent after it.
    ASSERT_EQ(::write(bystander, "REQA\r", 5), 5);
    ASSERT_TRUE(m_supply.WaitForCommands(1, kGenerousWait));
    EXPECT_EQ(OpenErrorForOtherUser(m_supply.SlavePath()), EBUSY);

    ::close(bystander);
    EXPECT_TRUE(
        WaitUntil([&] { return OpenErrorForOtherUser(m_supply.SlavePath()) == 0; }, kGenerousWait));
}

} // namespace pelmora::sim
