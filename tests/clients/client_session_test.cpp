// Lab tools that no one here wrote, each driving a running `pelmora-cli serve` on the simulated
// supply as it would a bench instrument: what they print and what reaches the supply.
#include "sim/simulated_supply.h"
#include "tests/support/running_server.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/spawned_program.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <unistd.h>

namespace {

using pelmora::sim::SimulatedSupply;

// Debian's interpreter, which sees the Debian packages of these clients, whatever python3
// comes first on PATH.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kScripts = PELMORA_CLIENT_SCRIPTS;
constexpr const char* kIdentityForm = R"(Pelmora,DRELVOV99,0,\S+)";
// The simulated 100 Ω loads at 5 V draw 50 mA, give or take the simulated noise.
constexpr double kFiveVoltAmps = 0.050;
constexpr double kNoiseAmps = 0.003;

struct ClientRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a client program to its end, its output in files.
ClientRun RunClient(const std::vector<std::string>& command,
                    const std::map<std::string, std::string>& environment = {}) {
    const auto base =
        std::filesystem::temp_directory_path() / ("pelmora-client-" + std::to_string(::getpid()));
    const auto outFile = base.string() + ".out";
    const auto errFile = base.string() + ".err";
    ClientRun run;
    {
        SpawnedProgram client(command, environment, outFile, errFile);
        const auto status = client.WaitForEnd(kServeBound);
        if (status && WIFEXITED(*status)) {
            run.status = WEXITSTATUS(*status);
        }
    }
    run.out = Slurp(outFile);
    run.err = Slurp(errFile);
    std::filesystem::remove(outFile);
    std::filesystem::remove(errFile);
    return run;
}

ClientRun RunScript(const std::string& script, const std::vector<std::string>& arguments) {
    std::vector<std::string> command{kPython, std::string(kScripts) + "/" + script};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunClient(command);
}

// "NAME VALUE" lines as the scripts print them.
std::map<std::string, std::string> Answers(const std::string& out) {
    std::map<std::string, std::string> answers;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        const auto space = line.find(' ');
        answers[line.substr(0, space)] = space == std::string::npos ? "" : line.substr(space + 1);
    }
    return answers;
}

// What the supply received, with the current requests of the server's polling left out.
std::vector<std::string> Settings(const SimulatedSupply& supply) {
    std::vector<std::string> settings;
    for (const auto& logged : supply.Log()) {
        if (logged.bytes != "REQA\r" && logged.bytes != "REQPN\r") {
            settings.push_back(logged.bytes);
        }
    }
    return settings;
}

std::string LastSetting(const SimulatedSupply& supply) {
    const auto settings = Settings(supply);
    return settings.empty() ? "" : settings.back();
}

double Amps(const std::string& answer) {
    return std::strtod(answer.c_str(), nullptr);
}

class ServedSupply : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_server.Port()) << m_server.Errors();
        // The server starts by switching the output off.
        ASSERT_TRUE(WaitUntil([&] { return LastSetting(m_supply) == "RST\r"; }, kServeBound));
        m_startSettings = Settings(m_supply).size();
    }

    std::string PortText() const { return std::to_string(*m_server.Port()); }

    // What reached the supply since the server started.
    std::vector<std::string> NewSettings() const {
        const auto settings = Settings(m_supply);
        return {settings.begin() + static_cast<std::ptrdiff_t>(m_startSettings), settings.end()};
    }

    // Compares what reached the supply since the server started, once it holds as many
    // commands as `expected`: a client may end before the server has carried out its last line.
    void ExpectNewSettings(const std::vector<std::string>& expected) const {
        WaitUntil([&] { return NewSettings().size() >= expected.size(); }, kServeBound);
        EXPECT_EQ(NewSettings(), expected);
    }

    SimulatedSupply m_supply;
    RunningServer m_server{m_supply.SlavePath()};
    std::size_t m_startSettings = 0;
};

TEST_F(ServedSupply, PyvisaRunsABenchSessionOverARawSocket) {
    const auto run = RunScript("pyvisa_session.py", {PortText()});
    ASSERT_EQ(run.status, 0) << run.err << m_server.Errors();
    auto answers = Answers(run.out);
    EXPECT_TRUE(std::regex_match(answers["identity"], std::regex(kIdentityForm)))
        << answers["identity"];
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
    EXPECT_TRUE(std::regex_match(answers["id"], std::regex(kIdentityForm))) << answers["id"];
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
    EXPECT_TRUE(std::regex_search(identity.out, std::regex(kIdentityForm))) << identity.out;

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
        return RunClient({kPython, std::string(kScripts) + "/labgrid_power.py",
                          std::string(kScripts) + "/labgrid_env.yaml", action},
                         environment);
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
