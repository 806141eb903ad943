// The web page in Debian's headless Chromium, driven through Selenium as a person would use it,
// against the built `pelmora-cli serve --http` on the simulated supply: what the page shows,
// and what reaches the supply's line.
#include "sim/simulated_supply.h"
#include "tests/support/finished_program.h"
#include "tests/support/running_server.h"
#include "tests/support/spawned_program.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

// Debian's interpreter, which sees Debian's Selenium, whatever python3 comes first on PATH.
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kSession = PELMORA_WEB_SESSION;
constexpr const char* kMissingBrowser =
    "Chromium or its driver is not installed: scripts/bootstrap installs chromium, "
    "chromium-driver and python3-selenium";
// A few browsers started one after another; only a hang runs into it.
constexpr std::chrono::milliseconds kSessionBound{90000};
// The simulated 100 ohm loads, give or take the simulated noise.
constexpr double kMilliampsPerVolt = 10.0;
constexpr double kNoiseMa = 3.0;
// What the server sends as it starts: the identity, then the output off.
constexpr std::size_t kStartCommands = 2;
// The line drops at the third poll after the output goes on.
constexpr std::size_t kCommandsBeforeTheLineDrops = kStartCommands + 4;

std::filesystem::path SupplyLogPath() {
    static int count = 0;
    return std::filesystem::temp_directory_path() /
           ("pelmora-web-" + std::to_string(::getpid()) + "-" + std::to_string(++count) + ".log");
}

SimConfig Logged(SimConfig config, const std::filesystem::path& log) {
    config.logFile = log;
    return config;
}

class WebPageSession : public ::testing::Test {
protected:
    explicit WebPageSession(SimConfig config = {})
        : m_log(SupplyLogPath()), m_supply(Logged(std::move(config), m_log)),
          m_server(m_supply.SlavePath(), {"--http", "127.0.0.1:0"}) {}

    ~WebPageSession() override { std::filesystem::remove(m_log); }

    void SetUp() override {
        ASSERT_TRUE(FindProgram("chromium") && FindProgram("chromedriver")) << kMissingBrowser;
        ASSERT_TRUE(m_server.Port()) << m_server.Errors();
        ASSERT_TRUE(WaitUntil(
            [&] {
                const auto match =
                    FirstMatch(m_server.Output(), R"(page at http://127\.0\.0\.1:(\d+)/)");
                if (!match) {
                    return false;
                }
                m_pagePort = (*match)[1];
                return true;
            },
            kServeBound))
            << m_server.Output() << m_server.Errors();
        // The server starts by switching the output off.
        ASSERT_TRUE(m_supply.WaitForCommands(kStartCommands, kServeBound));
        ASSERT_EQ(Settings(), std::vector<std::string>{"RST\r"});
    }

    // One scenario of web_page_session.py, and what it saw on the page.
    std::map<std::string, std::string> Session(const std::string& scenario) {
        const auto run = RunToEnd({kPython, kSession, m_pagePort, std::to_string(*m_server.Port()),
                                   scenario, m_log.string()},
                                  {}, kSessionBound);
        EXPECT_EQ(run.status, 0) << run.out << run.err << m_server.Errors();
        return NamedLines(run.out);
    }

    // What the supply received besides polls, since the server started.
    std::vector<std::string> Settings() const {
        std::vector<std::string> settings;
        for (const auto& logged : m_supply.Log()) {
            if (logged.bytes != "REQA\r" && logged.bytes != "REQPN\r") {
                settings.push_back(logged.bytes);
            }
        }
        return settings;
    }

    void ExpectSettings(const std::vector<std::string>& expected) const {
        WaitUntil([&] { return Settings().size() >= expected.size(); }, kServeBound);
        EXPECT_EQ(Settings(), expected);
    }

    std::filesystem::path m_log;
    SimulatedSupply m_supply;
    RunningServer m_server;
    std::string m_pagePort;
};

// The supply goes away a few polls after the output goes on.
class SupplyThatDropsTheLine : public WebPageSession {
protected:
    SupplyThatDropsTheLine() : WebPageSession(DroppingLine()) {}

    static SimConfig DroppingLine() {
        SimConfig config;
        config.hangUpAfter = kCommandsBeforeTheLineDrops;
        return config;
    }
};

double Milliamps(const std::string& shown) {
    return std::strtod(shown.c_str(), nullptr);
}

TEST_F(WebPageSession, ListsButtonsAndLimitsReachTheSupply) {
    auto seen = Session("switch");
    EXPECT_TRUE(seen["connection"].starts_with("COM3 (")) << seen["connection"];
    EXPECT_EQ(seen["pressed"], "true");
    EXPECT_EQ(seen["output"], "オン");
    EXPECT_NEAR(Milliamps(seen["positive_mA"]), 5 * kMilliampsPerVolt, kNoiseMa);
    EXPECT_EQ(seen["refusal"], "''");
    EXPECT_EQ(seen["limit_typed"], "250");
    EXPECT_EQ(seen["protection"], "True 250");
    // The choices made while off go with the "on", both rails in one command; one made while
    // on is sent at once.
    ExpectSettings({"RST\r", "V050120\r", "V060120\r"});
}

TEST_F(WebPageSession, AnotherClientsChangeShowsWithinAPollOrTwo) {
    auto seen = Session("live");
    EXPECT_EQ(seen["complete"], "1");
    // Polls the supply received between the change and the page showing it.
    EXPECT_LE(std::stoi(seen["polls_before_settings"]), 2);
    EXPECT_LE(std::stoi(seen["polls_before_current"]), 2);
    EXPECT_NEAR(Milliamps(seen["positive_mA"]), 7 * kMilliampsPerVolt, kNoiseMa);
    EXPECT_NEAR(Milliamps(seen["negative_mA"]), 3 * kMilliampsPerVolt, kNoiseMa);
    EXPECT_GT(std::stoi(seen["positive_plot_pixels"]), 0);
    EXPECT_GT(std::stoi(seen["negative_plot_pixels"]), 0);
    ExpectSettings({"RST\r", "V070030\r"});
}

TEST_F(SupplyThatDropsTheLine, PageSpeaksTheBrowsersLanguageOrTheOneAskedFor) {
    auto seen = Session("language");
    EXPECT_EQ(seen["english_lang"], "en");
    EXPECT_EQ(seen["english_heading"], "Positive");
    EXPECT_EQ(seen["english_output"], "Off");
    // Every text has its English, the trip's and the program's among them.
    EXPECT_EQ(seen["english_japanese"], "0");
    EXPECT_TRUE(seen["english_connection"].starts_with("COM3 (")) << seen["english_connection"];
    EXPECT_EQ(seen["english_away"], "Not connected");

    EXPECT_EQ(seen["japanese_lang"], "ja");
    EXPECT_EQ(seen["japanese_heading"], "正電源");
    EXPECT_EQ(seen["japanese_output"], "オフ");
    EXPECT_NE(seen["japanese_japanese"], "0");
    EXPECT_EQ(seen["japanese_away"], "未接続");

    EXPECT_EQ(seen["chosen_lang"], "en");
    EXPECT_EQ(seen["chosen_heading"], "Positive");
    EXPECT_EQ(seen["chosen_output"], "Off");
    EXPECT_EQ(seen["chosen_japanese"], "0");
}

TEST_F(WebPageSession, RefusedChangesSayWhyOnThePage) {
    auto seen = Session("refusal");
    EXPECT_EQ(seen["refusal_role"], "alert");
    EXPECT_TRUE(MatchesWhole(
        seen["trip"], R"(Tripped: Positive rail \d+ mA > 5 mA \(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\))"))
        << seen["trip"];
    EXPECT_EQ(seen["limit"], "5");
    EXPECT_EQ(seen["watched"], "True");
    EXPECT_NE(seen["refused_on"].find("over-current trip is latched"), std::string::npos)
        << seen["refused_on"];
    EXPECT_EQ(seen["lamp_on"], "False");
    EXPECT_EQ(seen["cleared"], "Not tripped");
    EXPECT_EQ(seen["clear_shown"], "False");

    EXPECT_EQ(seen["step"], "Step 1 of 2");
    EXPECT_TRUE(MatchesWhole(seen["left"], R"((1:00|0:[0-5]\d) left)")) << seen["left"];
    EXPECT_NE(seen["refused_voltage"].find("a program is running"), std::string::npos)
        << seen["refused_voltage"];
    EXPECT_EQ(seen["list_after"], "2");
    EXPECT_EQ(seen["stopped"], "No sequence running");
    // On, the trip's off, the program's first step and its stop: neither refused change was
    // sent.
    ExpectSettings({"RST\r", "V010010\r", "RST\r", "V020010\r", "RST\r"});
}

TEST_F(WebPageSession, KeyboardReachesAndSwitchesTheOutput) {
    auto seen = Session("keyboard");
    EXPECT_EQ(seen["order"], "pos-voltage,neg-voltage,output");
    EXPECT_FALSE(seen["outline"].starts_with("none")) << seen["outline"];
    EXPECT_EQ(seen["outline"].find(" 0px"), std::string::npos) << seen["outline"];
    EXPECT_EQ(seen["space"], "オン");
    EXPECT_EQ(seen["enter"], "オフ");
    EXPECT_EQ(seen["arrow"], "-1.5");
    ExpectSettings({"RST\r", "V010010\r", "RST\r"});
}

TEST_F(WebPageSession, PhoneWidthStacksTheRailsWithoutSideScrolling) {
    auto seen = Session("phone");
    EXPECT_EQ(seen["overflow"], "0");
    EXPECT_EQ(seen["stacked"], "True");
    EXPECT_EQ(seen["button_inside"], "True");
}

} // namespace
