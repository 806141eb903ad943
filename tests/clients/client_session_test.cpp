// Lab tools that no one here wrote, each driving a running `pelmora-cli serve` on the simulated
// supply as it would a bench instrument: what they print and what reaches the supply.
#include "tests/clients/served_supply.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/spawned_program.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <map>

namespace {

constexpr const char* kIdentityForm = R"(Pelmora,DRELVOV99,0,\S+)";

TEST_F(ServedSupply, PyvisaRunsABenchSessionOverARawSocket) {
    const auto run = RunScript("pyvisa_session.py", {PortText()});
    ASSERT_EQ(run.status, 0) << run.err << m_server.Errors();
    auto answers = Answers(run.out);
    EXPECT_TRUE(MatchesWhole(answers["identity"], kIdentityForm)) << answers["identity"];
    EXPECT_NEAR(Amps(answers["measured"]), kFiveVoltAmps, kNoiseAmps) << answers["measured"];
    EXPECT_NEAR(Amps(answers["fetched"]), kFiveVoltAmps, kNoiseAmps) << answers["fetched"];
    EXPECT_EQ(answers["error"], R"(-113,"Undefined header")");
    EXPECT_EQ(answers["complete"], "1");
    // Both rails in one command, only once the output went on, and off again at the end.
    ExpectNewSettings({"V050120\r", "RST\r"});
    const auto log = m_supply.Log();
    EXPECT_TRUE(std::any_of(log.begin(), log.end(),
                            [](const auto& logged) { return logged.bytes == "REQA\r"; }));
}

TEST_F(ServedSupply, PyMeasuresGenericInstrumentIdentifiesResetsAndClears) {
    const auto run = RunScript("pymeasure_session.py", {PortText()});
    ASSERT_EQ(run.status, 0) << run.err << m_server.Errors();
    auto answers = Answers(run.out);
    EXPECT_TRUE(MatchesWhole(answers["id"], kIdentityForm)) << answers["id"];
    EXPECT_EQ(answers["switched"], "1");
    EXPECT_EQ(answers["output"], "0");
    EXPECT_EQ(answers["count"], "1");
    EXPECT_EQ(answers["cleared"], R"(0,"No error")");
    ExpectNewSettings({"V050010\r", "RST\r"});
}

TEST_F(ServedSupply, LxiAsksTheIdentityAndSwitchesWithOneShotConnections) {
    const auto lxi = FindProgram("lxi");
    ASSERT_TRUE(lxi) << "lxi-tools is not installed (scripts/bootstrap installs it)";
    const std::vector<std::string> address{*lxi,     "scpi",     "--address", "127.0.0.1",
                                           "--port", PortText(), "--raw"};
    auto ask = address;
    ask.push_back("*IDN?");
    const auto identity = RunClient(ask);
    ASSERT_EQ(identity.status, 0) << identity.err;
    EXPECT_TRUE(MatchesWithin(identity.out, kIdentityForm)) << identity.out;

    // lxi sends the line and closes at once: the line is still carried out.
    auto switchOn = address;
    switchOn.push_back("OUTP ON");
    const auto on = RunClient(switchOn);
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_TRUE(WaitUntil([&] { return LastSetting(m_supply) == "V010010\r"; }, kServeBound))
        << m_server.Errors();
    ScpiSocket check(*m_server.Port());
    EXPECT_EQ(check.Query("OUTP?"), "1");
    // The one-shot client going away left the output as it was.
    ExpectNewSettings({"V010010\r"});
}

TEST_F(ServedSupply, LxiCommandsInQuickSuccessionAllReachTheSupplyAndTheLastOffWins) {
    const auto lxi = FindProgram("lxi");
    ASSERT_TRUE(lxi) << "lxi-tools is not installed (scripts/bootstrap installs it)";
    // Each voltage command keeps the supply busy after its client has gone.
    for (const auto* line : {"APPL POS,5;APPL NEG,-12;OUTP ON", "APPL POS,6", "APPL POS,7",
                             "APPL POS,8", "APPL POS,9", "OUTP OFF"}) {
        const auto run = RunClient(
            {*lxi, "scpi", "--address", "127.0.0.1", "--port", PortText(), "--raw", line});
        ASSERT_EQ(run.status, 0) << line << ": " << run.err;
    }
    ExpectNewSettings({"V050120\r", "V060120\r", "V070120\r", "V080120\r", "V090120\r", "RST\r"});
    EXPECT_FALSE(m_supply.State().outputOn) << m_server.Errors();
}

TEST_F(ServedSupply, LabgridSwitchesThePowerThroughTheConnectOption) {
    // The environment file is the one a lab writes: it finds pelmora-cli on PATH.
    std::map<std::string, std::string> environment{
        {"LG_PELMORA_SERVER", "127.0.0.1:" + PortText()},
        {"PATH", CliDirectory() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin")}};
    const auto power = [&](const std::string& action) {
        return RunScript("labgrid_power.py", {ScriptPath("labgrid_env.yaml"), action}, environment);
    };
    auto run = power("on");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ExpectNewSettings({"V050120\r"});

    run = power("cycle");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ExpectNewSettings({"V050120\r", "RST\r", "V050120\r"});

    run = power("off");
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    ExpectNewSettings({"V050120\r", "RST\r", "V050120\r", "RST\r"});
}

} // namespace
