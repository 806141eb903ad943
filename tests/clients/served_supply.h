#pragma once

#include "sim/simulated_supply.h"
#include "tests/support/finished_program.h"
#include "tests/support/running_server.h"

#include <cstddef>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Debian's interpreter, which sees the Debian packages of the clients, whatever python3 comes
// first on PATH.
inline constexpr const char* kPython = "/usr/bin/python3";
// The simulated 100 Ω loads at 5 V draw 50 mA, give or take the simulated noise.
inline constexpr double kFiveVoltAmps = 0.050;
inline constexpr double kNoiseAmps = 0.003;
// The bench's usual start: both rails set, the output on.
inline constexpr const char* kBenchOn = "APPL POS,5;:APPL NEG,-12;:OUTP ON;*OPC?";

using ClientRun = FinishedProgram;

// Runs a client program to its end, its output in files.
ClientRun RunClient(const std::vector<std::string>& command,
                    const std::map<std::string, std::string>& environment = {});
// One of the scripts beside the tests, by Debian's interpreter.
ClientRun RunScript(const std::string& script, const std::vector<std::string>& arguments,
                    const std::map<std::string, std::string>& environment = {});
// Where the scripts and the files they read are.
std::string ScriptPath(const std::string& name);

// "NAME VALUE" lines as the scripts print them.
std::map<std::string, std::string> Answers(const std::string& out);
double Amps(const std::string& answer);

// What the supply received, with the current requests of the server's polling left out.
std::vector<std::string> Settings(const pelmora::sim::SimulatedSupply& supply);
std::string LastSetting(const pelmora::sim::SimulatedSupply& supply);

// What web_request.py got: the status, or 0 when it got none (`problem` says why), and the text.
struct WebReply {
    int status = 0;
    std::string text;
    std::string problem;
};

// A running `pelmora-cli serve` on the simulated supply, as a bench serves it.
class ServedSupply : public ::testing::Test {
protected:
    explicit ServedSupply(const std::vector<std::string>& serveArguments = {});

    void SetUp() override;

    std::string PortText() const { return std::to_string(*m_server.Port()); }

    // What reached the supply since the server started.
    std::vector<std::string> NewSettings() const;

    // Compares what reached the supply since the server started, once it holds as many
    // commands as `expected`: a client may end before the server has carried out its last line.
    void ExpectNewSettings(const std::vector<std::string>& expected) const;

    pelmora::sim::SimulatedSupply m_supply;
    RunningServer m_server;
    std::size_t m_startSettings = 0;
};

// The same with its HTTP face on a free loopback port.
class ServedWeb : public ServedSupply {
protected:
    ServedWeb() : ServedWeb(std::vector<std::string>{}) {}
    explicit ServedWeb(const std::vector<std::string>& serveArguments);

    void SetUp() override;

    std::string WebPortText() const { return std::to_string(m_webPort); }
    // http://127.0.0.1:PORT and the path.
    std::string Url(const std::string& path) const;
    // One request through the requests package, with headers as "Name: value".
    WebReply Request(const std::string& method, const std::string& path,
                     const std::optional<std::string>& body = std::nullopt,
                     const std::vector<std::string>& headers = {}) const;

    std::uint16_t m_webPort = 0;
};
