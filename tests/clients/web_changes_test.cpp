// Changes through the HTTP face follow the SCPI rules: a value off the table is refused with
// nothing rounded, a program owns the supply until it ends, and off always wins.
#include "tests/clients/served_supply.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// Runs until stopped: two steps of a minute each, over and over.
constexpr const char* kEndlessProgram = "LIST:VOLT 3,5;DWEL 60,60;COUN INF;:INIT;*OPC";
constexpr const char* kProgramRunning = "16640";
constexpr const char* kIdle = "0";

TEST_F(ServedWeb, ValuesOffTheTableAreRefusedAndNothingIsRounded) {
    ScpiSocket bench(*m_server.Port());
    ASSERT_EQ(bench.Query(kBenchOn), "1");
    ExpectNewSettings({"V050120\r"});
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/api/voltages", R"({"positive_V": 5.25})"},
             {"/api/voltages", R"({"negative_V": -12.5})"},
             {"/api/voltages", R"({"positive_V": 14})"},
             {"/api/voltages", R"({"positive_V": -5})"},
             {"/api/voltages", R"({"positive_V": "5"})"},
             {"/api/voltages", R"({"positive_V": 6, "negative_V": -12.5})"},
             {"/api/voltages", R"({"positive": 6})"},
             {"/api/voltages", "6"},
             {"/api/protection", R"({"positive": {"on": true, "limit_mA": 300.5}})"},
             {"/api/protection", R"({"delay_s": 0.0005})"},
             {"/api/protection", R"({"negative": {"on": "yes"}})"},
             {"/api/output", "2"},
         }) {
        SCOPED_TRACE(path + " " + body);
        const auto change = Request("PUT", path, body);
        EXPECT_EQ(change.status, 400) << change.problem << change.text;
    }
    // Neither rail moved, not even the one given a value on the table beside one that is not.
    EXPECT_EQ(bench.Query("INST:NSEL 1;:VOLT?;:INST:NSEL 2;:VOLT?"), "5.00000E+00;-1.20000E+01");
    EXPECT_EQ(bench.Query("CURR:PROT:STAT?;:INST:NSEL 1;:CURR:PROT:STAT?"), "0;0");
    EXPECT_EQ(NewSettings(), std::vector<std::string>{"V050120\r"});

    const auto change = Request("PUT", "/api/voltages", R"({"positive_V": 6})");
    EXPECT_EQ(change.status, 200) << change.problem << change.text;
    ExpectNewSettings({"V050120\r", "V060120\r"});
}

TEST_F(ServedWeb, OffWinsOverARunningProgramAndEndsIt) {
    ScpiSocket bench(*m_server.Port());
    ASSERT_TRUE(bench.Send(std::string("APPL NEG,-12;:") + kEndlessProgram + "\n"));
    ExpectNewSettings({"V030120\r"});
    EXPECT_EQ(bench.Query("STAT:OPER:COND?"), kProgramRunning);

    // The program owns the supply: other changes are refused, and say why.
    for (const auto& [path, body] : std::vector<std::pair<std::string, std::string>>{
             {"/api/output", "1"}, {"/api/voltages", R"({"positive_V": 6})"}}) {
        const auto change = Request("PUT", path, body);
        EXPECT_EQ(change.status, 409) << change.problem;
        EXPECT_NE(change.text.find("a program is running"), std::string::npos) << change.text;
    }
    const auto off = Request("PUT", "/api/output", "0");
    EXPECT_EQ(off.status, 200) << off.problem << off.text;
    EXPECT_EQ(off.text, "0");
    ExpectNewSettings({"V030120\r", "RST\r"});
    EXPECT_EQ(bench.Query("STAT:OPER:COND?"), kIdle);

    // Stopping the program through its own resource does the same.
    ASSERT_TRUE(bench.Send(std::string(kEndlessProgram) + "\n"));
    ExpectNewSettings({"V030120\r", "RST\r", "V030120\r"});
    const auto stop = Request("DELETE", "/api/program");
    EXPECT_EQ(stop.status, 200) << stop.problem << stop.text;
    ExpectNewSettings({"V030120\r", "RST\r", "V030120\r", "RST\r"});
    EXPECT_EQ(bench.Query("STAT:OPER:COND?"), kIdle);
}

} // namespace
