// Lab tools that no one here wrote, driving the HTTP face of a running `pelmora-cli serve` on
// the simulated supply: labgrid's REST power driver, and Prometheus scraping /metrics.
#include "tests/clients/served_supply.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/spawned_program.h"

#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

// The bench's voltages, given while the output is off: nothing reaches the supply until on.
constexpr const char* kBenchVoltages = "APPL POS,5;:APPL NEG,-12;*OPC?";

TEST_F(ServedWeb, LabgridsRestPowerDriverSwitchesOnReadsBackAndOff) {
    ScpiSocket bench(*m_server.Port());
    ASSERT_EQ(bench.Query(kBenchVoltages), "1");
    // The environment file is the one a lab writes, the page's address from a variable.
    const std::map<std::string, std::string> environment{
        {"LG_PELMORA_PAGE", "127.0.0.1:" + WebPortText()}};
    const auto power = [&](std::vector<std::string> actions) {
        actions.insert(actions.begin(), ScriptPath("labgrid_rest_env.yaml"));
        return RunScript("labgrid_power.py", actions, environment);
    };

    auto run = power({"get", "on", "get"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "get 0\nget 1\n");
    ExpectNewSettings({"V050120\r"});

    run = power({"cycle", "get"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "get 1\n");
    ExpectNewSettings({"V050120\r", "RST\r", "V050120\r"});

    run = power({"off", "get"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out, "get 0\n");
    ExpectNewSettings({"V050120\r", "RST\r", "V050120\r", "RST\r"});
    EXPECT_EQ(bench.Query("OUTP?"), "0");
}

TEST_F(ServedWeb, PrometheusScrapesTheMetricsAndAnswersAQueryForThePositiveCurrent) {
    ASSERT_TRUE(FindProgram("prometheus"))
        << "prometheus is not installed (scripts/bootstrap installs it)";
    ScpiSocket bench(*m_server.Port());
    ASSERT_EQ(bench.Query(kBenchOn), "1");

    const auto run = RunScript("prometheus_scrape.py", {WebPortText()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    auto answers = Answers(run.out);
    EXPECT_NEAR(Amps(answers["current"]), kFiveVoltAmps, kNoiseAmps) << run.out;
    EXPECT_EQ(answers["up"], "1.0");
    // What Prometheus itself made of the HELP and TYPE lines.
    for (const auto& [name, type] :
         std::map<std::string, std::string>{{"pelmora_current_amperes", "gauge"},
                                            {"pelmora_voltage_setting_volts", "gauge"},
                                            {"pelmora_output_on", "gauge"},
                                            {"pelmora_supply_up", "gauge"},
                                            {"pelmora_trips_total", "counter"}}) {
        EXPECT_EQ(answers[name], type) << name;
        EXPECT_FALSE(answers[name + ".help"].empty()) << name;
    }
}

TEST_F(ServedWeb, PromtoolFindsNothingToCorrectInTheMetrics) {
    ASSERT_TRUE(FindProgram("promtool"))
        << "promtool is not installed (scripts/bootstrap installs prometheus)";
    // Every metric with its samples: the output on, and a limit on the positive rail.
    ScpiSocket bench(*m_server.Port());
    ASSERT_EQ(
        bench.Query("INST:NSEL 1;:CURR:PROT 300 MA;:CURR:PROT:STAT ON;:" + std::string(kBenchOn)),
        "1");

    const auto run = RunScript("promtool_lint.py", {WebPortText()});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    auto answers = Answers(run.out);
    EXPECT_EQ(answers["status"], "0");
    EXPECT_EQ(answers["problems"], "");
}

} // namespace
