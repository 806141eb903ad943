#include "sim/simulated_supply.h"
#include "tests/sim/line_client.h"
#include "tests/support/text_pattern.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace pelmora::sim {
namespace {

TEST(SimCommandLogTest, LineHasMillisecondUtcTimeAndEscapedCommand) {
    using namespace std::chrono;
    const auto when =
        sys_days{year{2024} / May / 1} + hours{12} + minutes{34} + seconds{56} + milliseconds{7};
    EXPECT_EQ(FormatLogLine(when, "REQPN\r"), "2024-05-01T12:34:56.007Z REQPN\\r");
    EXPECT_EQ(FormatLogLine(when, std::string("V\x01\n\\\0\r", 6)),
              "2024-05-01T12:34:56.007Z V\\x01\\n\\\\\\x00\\r");
}

TEST(SimCommandLogTest, FileGetsOneLinePerCommandAppended) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("pelmora-sim-log-" + std::to_string(::getpid()) + ".txt");
    std::filesystem::remove(path);
    {
        std::ofstream earlier(path);
        earlier << "earlier run\n";
    }
    SimConfig config;
    config.logFile = path;
    SimulatedSupply supply(config);
    test::LineClient line(supply.SlavePath());
    line.Send("REQPN\rV050120\r");
    ASSERT_TRUE(supply.WaitForCommands(2, test::kGenerousWait));
    // Read while the supply still runs: each line must be in the file as soon as it is logged.
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string text; std::getline(file, text);) {
        lines.push_back(text);
    }
    std::filesystem::remove(path);

    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "earlier run");
    const std::string stamp = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z (.*))";
    const auto first = WholeMatch(lines[1], stamp);
    ASSERT_TRUE(first) << lines[1];
    EXPECT_EQ((*first)[1], "REQPN\\r");
    const auto second = WholeMatch(lines[2], stamp);
    ASSERT_TRUE(second) << lines[2];
    EXPECT_EQ((*second)[1], "V050120\\r");
}

TEST(SimCommandLogTest, UnopenableFileIsReportedAtConstruction) {
    SimConfig config;
    config.logFile = "/nonexistent-directory/pelmora.log";
    EXPECT_THROW(SimulatedSupply{config}, std::runtime_error);
}

} // namespace
} // namespace pelmora::sim
