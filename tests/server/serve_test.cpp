#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/server/serve_fixture.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <arpa/inet.h>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;
namespace protocol = pelmora::protocol;

constexpr int kSmallReceiveBuffer = 1024;

// A socket that holds a loopback port, as another program would.
class HeldPort {
public:
    HeldPort() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), size);
        ::listen(m_fd, 1);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size);
        m_port = ntohs(address.sin_port);
    }
    ~HeldPort() { ::close(m_fd); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    std::uint16_t Port() const { return m_port; }

private:
    int m_fd;
    std::uint16_t m_port = 0;
};

TEST(Serve, StartsWithTheOutputOffAndAnswersOnThePortItNames) {
    SimulatedSupply supply;
    RunningServe serve(supply, {"-v"});
    ASSERT_TRUE(serve.Ready()) << serve.ReadyLine() << serve.Log();
    EXPECT_EQ(Commands(supply), (std::vector<std::string>{std::string(protocol::kIdentityRequest),
                                                          std::string(protocol::kResetCommand)}));
    ScpiSocket client(serve.Port());
    ASSERT_TRUE(client.Connected());
    EXPECT_EQ(client.Query("*IDN?"), kIdentity);
    EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"");
    // -v shows the SCPI lines beside the bytes on the wire.
    EXPECT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "> 0,\"No error\""); }))
        << serve.Log();
    const auto log = serve.Log();
    EXPECT_TRUE(Contains(log, "pelmora-cli: 127.0.0.1:")) << log;
    EXPECT_TRUE(Contains(log, " < *IDN?")) << log;
    EXPECT_TRUE(Contains(log, "> " + std::string(kIdentity))) << log;
    EXPECT_TRUE(Contains(log, "COM3 (" + supply.SlavePath().string() + ") > RST\\r")) << log;
}

TEST(Serve, ALineOfChangesIsOneVoltageCommandOnTheWire) {
    SimConfig config;
    config.noiseMa = 0;
    SimulatedSupply supply(config);
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    EXPECT_EQ(client.Query("*RST;INST:NSEL 1;:VOLT 5;:INST:NSEL 2;:VOLT -12;:OUTP ON;*OPC?"), "1");
    EXPECT_EQ(client.Query("MEAS:CURR? POS;CURR? NEG"), "5.00000E-02;1.20000E-01");
    EXPECT_EQ(client.Query("INST:NSEL 1;:VOLT 6;:INST:NSEL 2;:VOLT -6;*OPC?"), "1");
    std::vector<std::string> voltages;
    for (const auto& command : Commands(supply)) {
        if (command.starts_with("V")) {
            voltages.push_back(command);
        }
    }
    EXPECT_EQ(voltages, (std::vector<std::string>{protocol::BuildVoltageCommand("050", "120"),
                                                  protocol::BuildVoltageCommand("060", "060")}));
    EXPECT_TRUE(supply.State().outputOn);
    EXPECT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "output on at +6V / -6V"); }))
        << serve.Log();
}

TEST(Serve, ClientsShareTheInstrumentAndASlowSupplyStallsOnlyTheOneWaiting) {
    SimConfig config;
    // The identity and the reset are answered; the currents are not.
    config.stopAnsweringAfter = 2;
    SimulatedSupply supply(config);
    RunningServe serve(supply, {"--wait", "1000"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket waiting(serve.Port());
    ScpiSocket other(serve.Port());
    ASSERT_TRUE(waiting.Send("MEAS:CURR?\n"));
    ASSERT_TRUE(WaitUntil([&] { return CountOf(supply, protocol::kCurrentRequest) == 1; }));
    EXPECT_EQ(other.Query("*IDN?"), kIdentity);
    ASSERT_TRUE(other.Send("FOO\n"));
    EXPECT_EQ(other.Query("*ESR?"), "32");
    EXPECT_FALSE(waiting.LineWaiting()) << "the supply never answered, yet a reply came";
    // The silent supply fails the measurement, which answers nothing; each client reads its
    // own errors.
    EXPECT_EQ(waiting.Query("SYST:ERR?"), "-240,\"Hardware error\"");
    EXPECT_EQ(waiting.Query("SYST:ERR?"), "0,\"No error\"");
    EXPECT_EQ(other.Query("SYST:ERR?"), "-113,\"Undefined header\"");
    EXPECT_EQ(other.Query("SYST:ERR?"), "0,\"No error\"");
}

TEST(Serve, APeerOutsideTheAllowedRangesIsClosedAndLogged) {
    SimulatedSupply supply;
    RunningServe serve(supply, {"--allow", "10.0.0.0/8"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    client.Send("OUTP ON\n");
    EXPECT_TRUE(client.WaitForClose());
    EXPECT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "refused: not in the allowed"); }))
        << serve.Log();
    EXPECT_EQ(CountOf(supply, protocol::kIdentityRequest) +
                  CountOf(supply, protocol::kResetCommand),
              supply.Log().size());
    EXPECT_FALSE(supply.State().outputOn);

    SimulatedSupply another;
    RunningServe allowing(another, {"--allow", "127.0.0.0/8"});
    ASSERT_TRUE(allowing.Ready()) << allowing.Log();
    EXPECT_EQ(ScpiSocket(allowing.Port()).Query("*IDN?"), kIdentity);
}

TEST(Serve, AnAddressItCannotOrMayNotUseIsAUsageErrorBeforeTheSupplyIsTouched) {
    SimulatedSupply supply;
    HeldPort held;
    const auto inUse =
        RunCli({"serve", "--listen", "127.0.0.1:" + std::to_string(held.Port())}, Ports(supply));
    EXPECT_EQ(inUse.exitStatus, 2) << inUse.err;
    EXPECT_TRUE(Contains(inUse.err, "in use")) << inUse.err;
    EXPECT_EQ(inUse.out, "");

    const auto open = RunCli({"serve", "--listen", "0.0.0.0:0"}, Ports(supply));
    EXPECT_EQ(open.exitStatus, 2) << open.err;
    EXPECT_TRUE(Contains(open.err, "--allow")) << open.err;

    // An address of no interface of this machine.
    const auto elsewhere =
        RunCli({"serve", "--listen", "192.0.2.1:0", "--allow", "192.0.2.0/24"}, Ports(supply));
    EXPECT_EQ(elsewhere.exitStatus, 2) << elsewhere.err;
    EXPECT_TRUE(Contains(elsewhere.err, "cannot listen on 192.0.2.1:0")) << elsewhere.err;
    EXPECT_TRUE(supply.Log().empty());
}

TEST(Serve, WithoutASupplyItEndsAsTheOtherVerbsDo) {
    const auto none = RunCli({"serve", "--listen", "127.0.0.1:0"}, "COM3=/dev/null");
    EXPECT_EQ(none.exitStatus, 3) << none.err;
    EXPECT_EQ(none.out, "");
    SimConfig config;
    config.stopAnsweringAfter = 0;
    SimulatedSupply silent(config);
    const auto quiet = RunCli({"serve", "--listen", "127.0.0.1:0"}, Ports(silent));
    EXPECT_EQ(quiet.exitStatus, 1) << quiet.err;
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(Commands(silent), std::vector<std::string>{std::string(protocol::kIdentityRequest)});
}

TEST(Serve, LinesSentJustBeforeTheClientLeavesAreCarriedOutAndItsLeavingChangesNothing) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    {
        ScpiSocket oneShot(serve.Port());
        ASSERT_TRUE(oneShot.Send("VOLT 5\nOUTP ON\n"));
    }
    ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; })) << serve.Log();
    EXPECT_EQ(LastSetting(supply), protocol::BuildVoltageCommand("050", "010"));
    // A query whose client half-closed is still answered before the server closes.
    ScpiSocket halfClosed(serve.Port());
    ASSERT_TRUE(halfClosed.Send("OUTP?\n"));
    halfClosed.EndSending();
    EXPECT_EQ(halfClosed.ReadLine(), "1");
    EXPECT_TRUE(halfClosed.WaitForClose());
    EXPECT_TRUE(supply.State().outputOn);
    EXPECT_EQ(CountOf(supply, protocol::kResetCommand), 1u);
}

TEST(Serve, OffOnDisconnectSwitchesOffWhenTheLastClientLeaves) {
    SimulatedSupply supply;
    RunningServe serve(supply, {"--off-on-disconnect"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    auto first = std::make_unique<ScpiSocket>(serve.Port());
    ScpiSocket second(serve.Port());
    EXPECT_EQ(first->Query("OUTP ON;*OPC?"), "1");
    first.reset();
    EXPECT_EQ(second.Query("OUTP?"), "1") << "one client is still there";
    EXPECT_TRUE(supply.State().outputOn);
    second.Close();
    ASSERT_TRUE(WaitUntil([&] { return !supply.State().outputOn; })) << serve.Log();
    EXPECT_EQ(Commands(supply).back(), protocol::kResetCommand);
    ScpiSocket later(serve.Port());
    EXPECT_EQ(later.Query("OUTP?"), "0");
    EXPECT_TRUE(WaitUntil([&] {
        return Contains(serve.Log(), "output off (the last client leaving)");
    })) << serve.Log();
}

TEST(Serve, OffOnDisconnectEndsARunningProgramWithTheOutputOff) {
    SimulatedSupply supply;
    RunningServe serve(supply, {"--off-on-disconnect"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    {
        ScpiSocket client(serve.Port());
        EXPECT_EQ(client.Query("LIST:VOLT 3,5,6;DWEL 0.3;COUN INF;:INIT;:STAT:OPER:COND?"),
                  "16384");
        ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; }, 10s)) << serve.Log();
    }
    ASSERT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "disconnected"); })) << serve.Log();
    ScpiSocket later(serve.Port());
    // Queued behind the switch-off, so the supply has had it by the reply.
    ASSERT_TRUE(later.Query("MEAS:CURR?").has_value());
    EXPECT_EQ(later.Query("STAT:OPER:COND?;:OUTP?"), "0;0");
    const auto commands = Commands(supply);
    const auto lastVoltage =
        std::find_if(commands.rbegin(), commands.rend(),
                     [](const auto& command) { return command.starts_with("V"); });
    EXPECT_NE(std::find(commands.rbegin(), lastVoltage, protocol::kResetCommand), lastVoltage)
        << "a step came after the switch-off";
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_TRUE(Contains(serve.Log(), "program stopped by the last client leaving")) << serve.Log();
}

TEST(Serve, EveryStopSignalEndsWithTheResetAsTheLastBytes) {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        SimulatedSupply supply;
        RunningServe serve(supply);
        ASSERT_TRUE(serve.Ready()) << serve.Log();
        ScpiSocket client(serve.Port());
        EXPECT_EQ(client.Query("VOLT 12;:OUTP ON;*OPC?"), "1");
        ASSERT_TRUE(supply.State().outputOn);
        const auto run = serve.Stop(signalNumber);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(run.exitStatus, 0) << run.err;
        EXPECT_TRUE(Contains(run.err, "the output was switched off")) << run.err;
        EXPECT_EQ(Commands(supply).back(), protocol::kResetCommand) << signalNumber;
        EXPECT_FALSE(supply.State().outputOn);
        EXPECT_TRUE(client.WaitForClose());
    }
}

TEST(Serve, AClientThatNeverReadsIsDroppedAndTheOthersGoOn) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket other(serve.Port());
    // Takes in few bytes at a time, so that replies pile up at the server sooner.
    ScpiSocket hoarder(serve.Port(), kSmallReceiveBuffer);
    std::string burst;
    for (int i = 0; i < 1000; ++i) {
        burst += "*IDN?\n";
    }
    // Bounded: the kernel's buffers hold some megabytes, then the replies pile up at the server.
    constexpr int kMostBursts = 20000;
    for (int i = 0; i < kMostBursts && hoarder.Send(burst); ++i) {
        if (Contains(serve.Log(), "dropped")) {
            break;
        }
    }
    EXPECT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "replies unread"); })) << serve.Log();
    EXPECT_EQ(other.Query("*IDN?"), kIdentity);
}

TEST(Serve, ALostSupplyIsFoundAgainWithItsOutputOffWhileClientsStay) {
    // Two listed ports whose paths outlive any one simulated supply; the supply comes back on
    // the other one, as a USB device may come back under another number.
    const auto link = [](std::string_view name) {
        return std::filesystem::temp_directory_path() /
               ("pelmora-serve-" + std::string(name) + "-" + std::to_string(::getpid()));
    };
    SimConfig config;
    config.linkPath = link("COM3");
    // The identity, the reset, the voltage command, and the line drops at the next command.
    config.hangUpAfter = 4;
    auto first = std::make_unique<SimulatedSupply>(config);
    RunningServe serve("COM3=" + link("COM3").string() + ",COM4=" + link("COM4").string(),
                       {"--wait", kServeWaitMs, "-v"});
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    EXPECT_EQ(client.Query("VOLT 5;:OUTP ON;*OPC?"), "1");
    ASSERT_TRUE(WaitUntil([&] { return Contains(serve.Log(), "supply lost"); })) << serve.Log();
    EXPECT_EQ(client.Query("OUTP?"), "0");
    EXPECT_EQ(client.Query("STAT:QUES:COND?"), "512");
    EXPECT_EQ(client.Query("OUTP ON;*OPC?"), "1");
    EXPECT_EQ(client.Query("OUTP?"), "0") << "switched on with no supply there";
    EXPECT_EQ(client.Query("SYST:ERR?"), "-221,\"Settings conflict\"");
    first.reset();

    SimConfig back;
    back.linkPath = link("COM4");
    SimulatedSupply second(back);
    // A client asking more often than the supply is looked for, each measurement failing at
    // once, does not keep it from being found.
    const auto askedUntilFound = [&] {
        EXPECT_TRUE(client.Query("MEAS:CURR?;*OPC?").has_value());
        std::this_thread::sleep_for(200ms);
        return Contains(serve.Log(), "supply found again on COM4");
    };
    ASSERT_TRUE(WaitUntil(askedUntilFound, 10s)) << serve.Log();
    // The current requests, the client's and the polls, aside.
    const auto settings = [&] {
        auto commands = Commands(second);
        std::erase(commands, protocol::kCurrentRequest);
        return commands;
    };
    EXPECT_EQ(settings(), (std::vector<std::string>{std::string(protocol::kIdentityRequest),
                                                    std::string(protocol::kResetCommand)}));
    EXPECT_EQ(client.Query("OUTP?"), "0") << "the supply's return switched the output on";
    EXPECT_EQ(client.Query("OUTP ON;*OPC?"), "1");
    EXPECT_TRUE(second.State().outputOn);
    ASSERT_EQ(settings().size(), 3u);
    EXPECT_EQ(settings()[2], protocol::BuildVoltageCommand("050", "010"));
    EXPECT_EQ(client.Query("STAT:QUES:COND?"), "0");
    EXPECT_TRUE(Contains(client.Query("SYST:PORT?").value_or(""), "COM4"));
    // The byte trace names the port the supply is on now.
    EXPECT_TRUE(Contains(serve.Log(), "COM4 (" + link("COM4").string() + ") > V050010\\r"))
        << serve.Log();
}

// Whether `rail`'s protection reports a trip within a few seconds.
bool Tripped(ScpiSocket& client, std::string_view rail) {
    const std::string ask = "INST " + std::string(rail) + ";:CURR:PROT:TRIP?";
    return WaitUntil([&] { return client.Query(ask) == "1"; }, 10s);
}

TEST(ServeProtection, ATripSwitchesOffAtOnceAndLatchesUntilCleared) {
    // 5 V into 10 ohms is 500 mA, from one second after the output goes on.
    SimulatedSupply supply(QuietLoads(100.0, 100.0, {{1s, 10.0, 100.0}}));
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    EXPECT_EQ(client.Query("CURR:PROT 0.3;PROT:STAT ON;DEL 0;:VOLT 5;:OUTP ON;*OPC?"), "1");
    ASSERT_TRUE(Tripped(client, "POS")) << serve.Log();
    EXPECT_FALSE(supply.State().outputOn);
    // The reset follows the poll that saw the second sample over the limit, with nothing
    // between them.
    const auto commands = Commands(supply);
    ASSERT_GE(commands.size(), 3u);
    EXPECT_EQ(commands.back(), protocol::kResetCommand);
    EXPECT_EQ(commands[commands.size() - 2], protocol::kCurrentRequest);
    EXPECT_EQ(client.Query("OUTP?;:CURR:PROT:TRIP?;:STAT:QUES:COND?"), "0;1;2");
    EXPECT_TRUE(Contains(serve.Log(), "over-current trip: positive rail drew 500 mA, over its "
                                      "300 mA limit"))
        << serve.Log();

    const auto before = Commands(supply).size();
    EXPECT_EQ(client.Query("OUTP ON;*OPC?"), "1");
    EXPECT_EQ(client.Query("SYST:ERR?"), "-221,\"Settings conflict\"");
    EXPECT_EQ(Commands(supply).size(), before) << "switched on while tripped";
    // The command line points to the trip and its clearing, not to the cable.
    const auto on = RunCli({"--connect", "127.0.0.1:" + std::to_string(serve.Port()), "on"}, "");
    EXPECT_EQ(on.exitStatus, 1) << on.err;
    EXPECT_TRUE(Contains(on.err, "over-current trip keeps the output off until CURR:PROT:CLE"))
        << on.err;

    EXPECT_EQ(client.Query("CURR:PROT:CLE;:CURR:PROT:TRIP?;:STAT:QUES:COND?"), "0;0");
    EXPECT_EQ(client.Query("CURR:PROT:STAT OFF;:OUTP ON;*OPC?;:OUTP?"), "1;1");
    EXPECT_TRUE(supply.State().outputOn);
    EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"");
}

TEST(ServeProtection, TheNegativeRailTripsWhileTheUnwatchedRailDrawsMore) {
    // The negative rail shorted from the start: its reading stops at full scale.
    SimulatedSupply supply(QuietLoads(10.0, pelmora::sim::kShortOhms));
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    // The positive rail's 500 mA is over its 0.1 A limit, but its protection is off.
    EXPECT_EQ(client.Query("CURR:PROT 0.1;:INST NEG;:CURR:PROT 0.9;PROT:STAT 1;DEL 0.2;"
                           ":VOLT -5;:INST POS;:VOLT 5;:OUTP ON;*OPC?"),
              "1");
    ASSERT_TRUE(Tripped(client, "NEG")) << serve.Log();
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(client.Query("INST POS;:CURR:PROT:TRIP?"), "0");
    EXPECT_TRUE(Contains(serve.Log(), "negative rail drew 999 mA, over its 900 mA limit"))
        << serve.Log();
}

TEST(ServeProtection, NoTripAtTheLimitNorWithinTheDelay) {
    // 5 V into 100 ohms is exactly 50 mA on each rail.
    SimulatedSupply supply(QuietLoads(100.0, 100.0));
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    const auto pollsAfter = [&](std::size_t count) {
        const auto polls = CountOf(supply, protocol::kCurrentRequest);
        return WaitUntil(
            [&] { return CountOf(supply, protocol::kCurrentRequest) >= polls + count; }, 10s);
    };
    EXPECT_EQ(client.Query("CURR:PROT 0.05;PROT:STAT ON;DEL 0;:VOLT 5;:INST NEG;:VOLT -5;"
                           ":OUTP ON;*OPC?"),
              "1");
    ASSERT_TRUE(pollsAfter(4));
    EXPECT_EQ(client.Query("OUTP?;:STAT:QUES:COND?"), "1;0") << "tripped at the limit";
    // Over its limit, but each change of voltage starts ten seconds of delay.
    EXPECT_EQ(client.Query("CURR:PROT 0.049;PROT:STAT ON;DEL 10;:VOLT -6;*OPC?"), "1");
    ASSERT_TRUE(pollsAfter(4));
    EXPECT_EQ(client.Query("OUTP?;:STAT:QUES:COND?"), "1;0") << "tripped within the delay";
    EXPECT_EQ(client.Query("CURR:PROT:DEL 0;:VOLT -5;*OPC?"), "1");
    ASSERT_TRUE(Tripped(client, "NEG")) << serve.Log();
    EXPECT_FALSE(supply.State().outputOn);
}

TEST(ServeProgram, RunsEveryStepInOrderAndEndsWithTheOutputOff) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    EXPECT_EQ(client.Query("INST NEG;:VOLT -12;:INST POS;:LIST:VOLT 3,5,6;DWEL 0.3;COUN 2;"
                           ":INIT;:STAT:OPER:COND?"),
              "16384");
    EXPECT_EQ(client.Query("*OPC?;:STAT:OPER:COND?;:OUTP?"), "1;0;0");
    const auto step = [](const char* positive) {
        return protocol::BuildVoltageCommand(positive, "120");
    };
    EXPECT_EQ(VoltageCommands(supply),
              (std::vector<std::string>{step("030"), step("050"), step("060"), step("030"),
                                        step("050"), step("060")}));
    EXPECT_EQ(Commands(supply).back(), protocol::kResetCommand);
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(client.Query("SYST:ERR?"), "0,\"No error\"");
}

TEST(ServeProgram, AbortAndATripStopItWithTheOutputOff) {
    // 5 V into 10 ohms is 500 mA, from two seconds after the output first goes on.
    SimulatedSupply supply(QuietLoads(100.0, 100.0, {{2s, 10.0, 100.0}}));
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    ASSERT_TRUE(client.Send("LIST:VOLT 5;DWEL 0.3;COUN INF;:INIT;:VOLT 6\n"));
    ASSERT_TRUE(WaitUntil([&] { return supply.State().outputOn; }, 10s));
    EXPECT_EQ(client.Query("SYST:ERR?"), "-221,\"Settings conflict\"");
    EXPECT_EQ(client.Query("ABOR;:STAT:OPER:COND?;:OUTP?"), "0;0");
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_TRUE(Contains(serve.Log(), "program stopped by 127.0.0.1:")) << serve.Log();

    // Protected now: the load's change trips it, and the program ends where it was.
    EXPECT_EQ(client.Query("CURR:PROT 0.3;PROT:STAT ON;DEL 0;:INIT;*OPC?;:STAT:OPER:COND?"), "1;0");
    EXPECT_EQ(client.Query("CURR:PROT:TRIP?;:OUTP?"), "1;0");
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_TRUE(Contains(serve.Log(), "program stopped by the over-current trip")) << serve.Log();
}

} // namespace

TEST(ServeProgram, AnEndlessProgramSendsAndLogsOnlyItsChanges) {
    SimulatedSupply supply;
    RunningServe serve(supply);
    ASSERT_TRUE(serve.Ready()) << serve.Log();
    ScpiSocket client(serve.Port());
    // One step repeated, then two that differ only every other pass.
    ASSERT_TRUE(client.Send("LIST:VOLT 5;DWEL 0.3;COUN INF;:INIT\n"));
    ASSERT_TRUE(WaitUntil([&] { return CountOf(supply, protocol::kCurrentRequest) >= 6; }, 10s));
    EXPECT_EQ(VoltageCommands(supply), std::vector<std::string>{"V050010\r"});
    EXPECT_EQ(client.Query("ABOR;:LIST:VOLT 5,5,6;:INIT;:STAT:OPER:COND?"), "16384");
    ASSERT_TRUE(WaitUntil([&] { return VoltageCommands(supply).size() >= 5; }, 10s));
    EXPECT_EQ(client.Query("ABOR;*OPC?"), "1");
    const auto voltages = VoltageCommands(supply);
    for (std::size_t i = 2; i < voltages.size(); ++i) {
        EXPECT_NE(voltages[i], voltages[i - 1]) << "step " << i << " sent what the supply had";
    }
    const auto log = serve.Log();
    EXPECT_FALSE(Contains(log, "output on at")) << log;
    EXPECT_TRUE(Contains(log, "program at step 3 of 3, pass 1: +6V / -1V")) << log;
    EXPECT_FALSE(Contains(log, "program at step 2 of 3")) << log;
}
