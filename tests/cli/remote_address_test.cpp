#include "cli/cli_options.h"
#include "cli/remote_address.h"
#include "cli/remote_supply.h"

#include <gtest/gtest.h>

namespace pelmora::cli {
namespace {

ParsedCommandLine Parse(std::initializer_list<std::string_view> arguments) {
    return ParseCommandLine(std::span(arguments.begin(), arguments.size()));
}

TEST(RemoteAddress, TakesAHostWithOrWithoutAPortAndIPv6InBrackets) {
    const std::vector<std::tuple<std::string_view, std::string, int, std::string>> cases = {
        {"bench", "bench", 5025, "bench:5025"},
        {"bench:6000", "bench", 6000, "bench:6000"},
        {"127.0.0.1:40123", "127.0.0.1", 40123, "127.0.0.1:40123"},
        {"[::1]", "::1", 5025, "[::1]:5025"},
        {"[::1]:6000", "::1", 6000, "[::1]:6000"},
        {"fe80::1", "fe80::1", 5025, "[fe80::1]:5025"},
    };
    for (const auto& [text, host, port, label] : cases) {
        const auto address = ParseRemoteAddress(text);
        ASSERT_TRUE(address) << text;
        EXPECT_EQ(address->host, host) << text;
        EXPECT_EQ(address->port, port) << text;
        EXPECT_EQ(AddressLabel(*address), label);
    }
    for (const std::string_view text :
         {"", ":5025", "bench:", "bench:0", "bench:65536", "bench:50x", "[::1", "[::1]5025",
          "[bench]:5025", "[]:5025", "bench:+5025", "a b:5025", "bench:-1"}) {
        EXPECT_FALSE(ParseRemoteAddress(text)) << text;
    }
}

TEST(RemoteAddress, ConnectWaitsLongerForEachReplyUnlessToldAndExcludesALocalPort) {
    auto parsed = Parse({"--connect", "bench", "read"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->waitMs, 2000);
    parsed = Parse({"read", "--wait", "150", "--connect", "[::1]:7000"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_EQ(parsed.options->waitMs, 150);
    EXPECT_EQ(parsed.options->connect->port, 7000);
    parsed = Parse({"read"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    EXPECT_LT(parsed.options->waitMs, 2000);
    EXPECT_FALSE(parsed.options->connect);

    parsed = Parse({"--connect", "bench", "--device", "/dev/ttyACM0", "off"});
    EXPECT_EQ(parsed.exitStatus, 2);
    EXPECT_EQ(parsed.error, "pelmora-cli: --connect, --device: only one of them can be given; see "
                            "'pelmora-cli --help'");
    parsed = Parse({"--connect", "bench:x", "off"});
    EXPECT_EQ(parsed.exitStatus, 2);
    EXPECT_NE(parsed.error.find("'bench:x' is no HOST, HOST:PORT or [IPV6]:PORT"),
              std::string::npos)
        << parsed.error;
}

TEST(RemoteReplies, SplitIntoAnswersErrorsAndMilliamps) {
    EXPECT_EQ(SplitAnswers("1.23000E-01;4.50000E-02;0,\"No error\""),
              (std::vector<std::string>{"1.23000E-01", "4.50000E-02", "0,\"No error\""}));
    EXPECT_EQ(SplitAnswers(""), std::vector<std::string>{""});

    EXPECT_EQ(ErrorNumber("-240,\"Hardware error\""), -240);
    EXPECT_EQ(ErrorNumber("0,\"No error\""), 0);
    EXPECT_EQ(ErrorNumber("-240"), 0) << "a number alone is an answer, not an error";
    EXPECT_EQ(ErrorNumber("Pelmora,DRELVOV99,0,1.0"), 0);

    EXPECT_EQ(Milliamps("1.23000E-01"), 123);
    EXPECT_EQ(Milliamps("4.50000E-02"), 45);
    EXPECT_EQ(Milliamps("9.99600E-01"), 1000) << "rounded, not cut";
    EXPECT_EQ(Milliamps("0.00000E+00"), 0);
    EXPECT_FALSE(Milliamps("-240,\"Hardware error\""));
    EXPECT_FALSE(Milliamps(""));
    EXPECT_FALSE(Milliamps("1E300"));
}

} // namespace
} // namespace pelmora::cli
