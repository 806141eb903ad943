// The server as a lab uses it: several clients at once, some of them gone without a word.
#include "sim/simulated_supply.h"
#include "tests/server/serve_fixture.h"
#include "tests/support/finished_program.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/wait_until.h"

#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;
namespace protocol = pelmora::protocol;

// As many clients as the server keeps at once.
constexpr std::size_t kPlaces = 32;
// Longer than a client must have been idle before it gives way to a new one.
constexpr auto kPastIdleBound = 2500ms;
constexpr std::string_view kFarewell = "pelmora-cli serve: ";
// Each change through the server may take the server's own patient wait for the supply, and a
// reset that whole wait again: a client allows well beyond both.
constexpr const char* kClientWaitMs = "5000";

// pelmora-cli as a client of the server, with no port of its own.
CliRun Connected(const RunningServe& serve, const std::vector<std::string>& verb) {
    std::vector<std::string> arguments{"--connect", "127.0.0.1:" + std::to_string(serve.Port()),
                                       "--wait", kClientWaitMs};
    arguments.insert(arguments.end(), verb.begin(), verb.end());
    return RunCli(arguments, "");
}

// A client that sends one line and goes at once, reading nothing: lxi's way, one connection a
// command.
void OneShot(std::uint16_t port, std::string_view line) {
    ScpiSocket client(port);
    ASSERT_TRUE(client.Connected());
    ASSERT_TRUE(client.Send(std::string(line) + "\n"));
    client.Close();
}

TEST(ManyClients, OneShotClientsLoseNoLineAndTheLastOffWins) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    // Each voltage change keeps the supply busy for its settling time, long after its client
    // has gone.
    for (const auto* line :
         {"VOLT 5;:OUTP ON", "VOLT 6", "VOLT 7", "VOLT 8", "VOLT 9", "OUTP OFF"}) {
        OneShot(serve.Port(), line);
    }
    ASSERT_TRUE(WaitUntil(
        [&] {
            return VoltageCommands(supply).size() >= 5 &&
                   LastSetting(supply) == protocol::kResetCommand;
        },
        10s))
        << serve.Log();
    EXPECT_EQ(VoltageCommands(supply),
              (std::vector<std::string>{"V050010\r", "V060010\r", "V070010\r", "V080010\r",
                                        "V090010\r"}));
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_FALSE(Contains(serve.Log(), "refused")) << serve.Log();
}

TEST(ManyClients, AClientLeavingWhileItWaitsIsSeenAtOnceAndSwitchesOffAsTheLastOne) {
    SimulatedSupply supply;
    RunningServe serve(supply, {"--off-on-disconnect"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    {
        ScpiSocket client(serve.Port());
        ASSERT_TRUE(client.Send("LIST:VOLT 5;DWEL 1;COUN INF;:INIT;*OPC?\n"));
        ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; }, 10s)) << serve.Log();
        // pyvisa's way when *OPC? runs into its time-out: the connection goes, unanswered.
    }
    // An endless program, so only the client's leaving can end it.
    ASSERT_TRUE(WaitUntil([&] { return !supply.State().outputOn; }, 10s)) << serve.Log();
    EXPECT_TRUE(Contains(serve.Log(), "disconnected")) << serve.Log();
    EXPECT_TRUE(Contains(serve.Log(), "program stopped by the last client leaving")) << serve.Log();
    EXPECT_EQ(LastSetting(supply), protocol::kResetCommand);
}

TEST(ManyClients, ClientsGoneWhileWaitingFreeTheirPlaces) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket starter(serve.Port());
    EXPECT_EQ(starter.Query("LIST:VOLT 5;DWEL 1;COUN INF;:INIT;:STAT:OPER:COND?"), "16384");
    {
        std::vector<std::unique_ptr<ScpiSocket>> waiting;
        for (std::size_t count = 1; count < kPlaces; ++count) {
            waiting.push_back(std::make_unique<ScpiSocket>(serve.Port()));
            ASSERT_TRUE(waiting.back()->Send("*OPC?\n"));
        }
        ASSERT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "(32 of 32)"); })) << serve.Log();
    }
    // Every place but the starter's is free again, with the program still running: anyone can
    // get in to stop it.
    const auto off = Connected(serve, {"off"});
    EXPECT_EQ(off.exitStatus, 0) << off.err;
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(starter.Query("STAT:OPER:COND?;:SYST:ERR?"), "0;0,\"No error\"");
}

TEST(ManyClients, AFullServerSaysWhyAndTheClientIdleLongestGivesWay) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    // Connections that never send a byte, as from a machine gone from the network.
    std::vector<std::unique_ptr<ScpiSocket>> silent;
    for (std::size_t count = 0; count < kPlaces; ++count) {
        silent.push_back(std::make_unique<ScpiSocket>(serve.Port()));
    }
    ASSERT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "(32 of 32)"); })) << serve.Log();
    {
        // Too soon for anyone to give way: told so, in a line, then closed in order.
        ScpiSocket refused(serve.Port());
        const auto line = refused.ReadLine();
        ASSERT_TRUE(line.has_value()) << serve.Log();
        EXPECT_TRUE(line->starts_with(std::string(kFarewell) + "refused: 32 clients")) << *line;
        EXPECT_TRUE(refused.WaitForClose());
        EXPECT_TRUE(Contains(serve.Log(), "refused: 32 clients are connected")) << serve.Log();
        // pelmora-cli says so too, instead of a reset connection.
        const auto refusedOff = Connected(serve, {"off"});
        EXPECT_EQ(refusedOff.exitStatus, 1);
        EXPECT_TRUE(Contains(refusedOff.err, "the server refused: 32 clients are connected"))
            << refusedOff.err;
    }
    std::this_thread::sleep_for(kPastIdleBound);
    const auto off = Connected(serve, {"off"});
    EXPECT_EQ(off.exitStatus, 0) << off.err << serve.Log();
    EXPECT_TRUE(Contains(serve.Log(), "gave way to 127.0.0.1:")) << serve.Log();
    // The first one in was idle longest: it hears why it is closed.
    const auto farewell = silent.front()->ReadLine();
    ASSERT_TRUE(farewell.has_value());
    EXPECT_TRUE(farewell->starts_with(std::string(kFarewell) + "closed: idle for")) << *farewell;
    EXPECT_TRUE(silent.front()->WaitForClose());
}

TEST(ManyClients, EachChoosesItsOwnRailEvenWhileItsLineWaits) {
    SimConfig slow;
    // Each reply comes late, so that another client's line arrives in the meantime.
    slow.replyDelay = 150ms;
    SimulatedSupply supply(slow);
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket first(serve.Port());
    ScpiSocket second(serve.Port());
    EXPECT_EQ(first.Query("INST:NSEL 2;*OPC?"), "1");
    EXPECT_EQ(second.Query("VOLT MAX;:OUTP ON;*OPC?"), "1");
    EXPECT_EQ(LastSetting(supply), "V130010\r") << "not the negative rail: the second never chose";
    EXPECT_EQ(second.Query("CURR:PROT 0.3;PROT:STAT ON;*OPC?"), "1");
    EXPECT_EQ(first.Query("CURR:PROT:STAT?"), "0");
    EXPECT_EQ(second.Query("INST:NSEL?;:CURR:PROT:STAT?"), "1;1");

    const auto polls = CountOf(supply, protocol::kCurrentRequest);
    ASSERT_TRUE(first.Send("INST:NSEL 2;:MEAS:CURR?;:VOLT MAX\n"));
    ASSERT_TRUE(WaitUntil([&] { return CountOf(supply, protocol::kCurrentRequest) > polls; }));
    EXPECT_EQ(second.Query("INST:NSEL 1;*OPC?"), "1");
    EXPECT_TRUE(first.ReadLine().has_value());
    EXPECT_EQ(first.Query("*OPC?"), "1");
    EXPECT_EQ(LastSetting(supply), "V130130\r") << "MAX went to the rail the first one chose";
}

TEST(ManyClients, OffWinsOverARunningProgramFromAnyClient) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket owner(serve.Port());
    ScpiSocket other(serve.Port());
    ASSERT_TRUE(owner.Send("LIST:VOLT 5,6;DWEL 1;COUN INF;:INIT\n"));
    ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; }, 10s));
    EXPECT_EQ(other.Query("OUTP OFF;:OUTP?;:STAT:OPER:COND?;:SYST:ERR?"), "0;0;0,\"No error\"");
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_TRUE(Contains(serve.Log(), "program stopped by 127.0.0.1:")) << serve.Log();

    // The command line's off, as labgrid's power driver uses it, wins the same way.
    EXPECT_EQ(owner.Query("INIT;:STAT:OPER:COND?"), "16384");
    ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; }, 10s));
    const auto off = Connected(serve, {"off"});
    EXPECT_EQ(off.exitStatus, 0) << off.err;
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(LastSetting(supply), protocol::kResetCommand);
}

TEST(ManyClients, ASupplySilentForAWhileCanBeSwitchedOnOnceItAnswers) {
    SimConfig config;
    // The identity, the reset and the voltage command are answered; then a few polls are not.
    config.stopAnsweringAfter = 3;
    config.resumeAnsweringAt = 7;
    SimulatedSupply supply(config);
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    EXPECT_EQ(client.Query("VOLT 5;:OUTP ON;*OPC?"), "1");
    ASSERT_TRUE(WaitUntil([&] { return client.Query("STAT:QUES:COND?") == "512"; }, 10s));
    EXPECT_EQ(client.Query("OUTP OFF;*OPC?"), "1");
    // No current flows with the output off, but the silence ends when the supply answers.
    ASSERT_TRUE(WaitUntil([&] { return client.Query("STAT:QUES:COND?") == "0"; }, 10s))
        << serve.Log();
    EXPECT_EQ(client.Query("OUTP ON;*OPC?;:OUTP?;:SYST:ERR?"), "1;1;0,\"No error\"");
    EXPECT_TRUE(supply.State().outputOn);
}

TEST(ManyClients, AClientThatReadsEveryReplyStaysHoweverMuchItIsSent) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    // Well over the 64 KiB a client may leave unread, one reply read at a time.
    const std::string identities = "*IDN?;*IDN?;*IDN?;*IDN?";
    std::size_t received = 0;
    while (received < 256 * 1024) {
        const auto reply = client.Query(identities);
        ASSERT_TRUE(reply.has_value()) << "dropped after " << received << " bytes";
        received += reply->size() + 1;
    }
    EXPECT_FALSE(Contains(serve.Log(), "dropped")) << serve.Log();
}

} // namespace

namespace {

// The system's timers on the server's end of its established connections, as ss shows them.
std::string ServerSocketTimers(std::uint16_t port) {
    return RunToEnd(
               {"ss", "-tno", "state", "established", "( sport = :" + std::to_string(port) + " )"},
               {}, 10s)
        .out;
}

// The time left on the keepalive timer in ss's own form: "1min", "59sec", "2.500ms" (2.5 s),
// "120min".
std::optional<double> KeepaliveTimerSeconds(const std::string& timers) {
    const std::string mark = "timer:(keepalive,";
    const auto start = timers.find(mark);
    if (start == std::string::npos) {
        return std::nullopt;
    }
    const auto end = timers.find(',', start + mark.size());
    std::istringstream text(timers.substr(start + mark.size(), end - start - mark.size()));
    double seconds = 0;
    long value = 0;
    std::string unit;
    while (text >> value) {
        unit.clear();
        while (std::isalpha(text.peek()) != 0 || text.peek() == '.') {
            unit += static_cast<char>(text.get());
        }
        if (unit == "min") {
            seconds += 60.0 * static_cast<double>(value);
        } else if (unit == "sec" || unit == ".") {
            seconds += static_cast<double>(value);
        } else if (unit == "ms") {
            seconds += static_cast<double>(value) / 1000;
        } else {
            return std::nullopt;
        }
    }
    return unit.empty() ? std::nullopt : std::optional<double>(seconds);
}

TEST(ManyClients, AQuietClientIsProbedSoThatAVanishedOneIsFoundOut) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket quiet(serve.Port());
    EXPECT_EQ(quiet.Query("*IDN?"), kIdentity);
    const std::string timers = ServerSocketTimers(serve.Port());
    // The first probe after a minute of quiet, not the system's two hours.
    const auto firstProbe = KeepaliveTimerSeconds(timers);
    ASSERT_TRUE(firstProbe.has_value()) << timers;
    EXPECT_LE(*firstProbe, 60.0) << "probing starts later than a minute: " << timers;
    EXPECT_GT(*firstProbe, 0.0) << timers;
}

} // namespace
