#include "link/port_list.h"
#include "sim/ports_entry.h"
#include "sim/sim_options.h"

#include <cmath>
#include <gtest/gtest.h>

namespace pelmora::sim {
namespace {

using namespace std::chrono_literals;

SimOptions Parse(std::initializer_list<std::string_view> arguments) {
    return ParseArguments(std::span(arguments.begin(), arguments.size()));
}

TEST(SimOptionsTest, NoArgumentsGiveAHealthySupplyOnCom3) {
    const SimOptions options = Parse({});
    EXPECT_EQ(options.portName, "COM3");
    EXPECT_TRUE(options.command.empty());
    const SimConfig& config = options.config;
    EXPECT_EQ(config.identitySuffix, "99");
    EXPECT_EQ(config.replyDelay, 0ms);
    EXPECT_FALSE(config.stopAnsweringAfter || config.splitGap || config.hangUpAfter ||
                 config.logFile);
    EXPECT_FALSE(config.garbageReplies || config.longCurrentReply || config.xoffAfterReplies ||
                 config.kernelModes);
}

TEST(SimOptionsTest, EveryOptionReachesTheConfig) {
    const SimOptions options = Parse({"--name",
                                      "COM12",
                                      "--load-pos",
                                      "47.5",
                                      "--load-neg",
                                      "inf",
                                      "--noise",
                                      "4",
                                      "--seed",
                                      "4294967295",
                                      "--delay",
                                      "40",
                                      "--identity-suffix",
                                      "01",
                                      "--stop-after",
                                      "0",
                                      "--resume-at",
                                      "7",
                                      "--garbage",
                                      "--split",
                                      "15",
                                      "--long-reply",
                                      "--xoff",
                                      "--kernel-modes",
                                      "--hang-up-after",
                                      "9",
                                      "--log",
                                      "/tmp/sim.log",
                                      "--link",
                                      "/tmp/supply-link",
                                      "--help"});
    const SimConfig& config = options.config;
    EXPECT_EQ(options.portName, "COM12");
    EXPECT_DOUBLE_EQ(config.positiveLoadOhms, 47.5);
    EXPECT_TRUE(std::isinf(config.negativeLoadOhms));
    EXPECT_EQ(config.noiseMa, 4);
    EXPECT_EQ(config.seed, 4294967295u);
    EXPECT_EQ(config.replyDelay, 40ms);
    EXPECT_EQ(config.identitySuffix, "01");
    EXPECT_EQ(config.stopAnsweringAfter, 0u);
    EXPECT_EQ(config.resumeAnsweringAt, 7u);
    EXPECT_TRUE(config.garbageReplies);
    EXPECT_EQ(config.splitGap, 15ms);
    EXPECT_TRUE(config.longCurrentReply);
    EXPECT_TRUE(config.xoffAfterReplies);
    EXPECT_TRUE(config.kernelModes);
    EXPECT_EQ(config.hangUpAfter, 9u);
    EXPECT_EQ(config.logFile, std::filesystem::path("/tmp/sim.log"));
    EXPECT_EQ(config.linkPath, std::filesystem::path("/tmp/supply-link"));
    EXPECT_TRUE(options.showHelp);
}

TEST(SimOptionsTest, EverythingAfterTheMarkIsTheCommand) {
    const SimOptions options = Parse({"--delay", "5", "--", "prog", "--delay", "x", "--"});
    EXPECT_EQ(options.config.replyDelay, 5ms);
    EXPECT_EQ(options.command, (std::vector<std::string>{"prog", "--delay", "x", "--"}));
}

TEST(SimOptionsTest, BadArgumentsAreRefused) {
    const std::vector<std::vector<std::string_view>> refused = {
        {"--delay"},
        {"--delay", "abc"},
        {"--delay", "-5"},
        {"--delay", "5ms"},
        {"--delay", "0x10"},
        {"--delay", " 5"},
        {"--load-neg", "-10"},
        {"--load-pos", "-0.5"},
        {"--load-change", "5"},
        {"--load-change", "5:10"},
        {"--load-change", "5,10,10"},
        {"--load-change", ":10,10"},
        {"--load-change", "-1:10,10"},
        {"--load-change", "nan:10,10"},
        {"--load-change", "1e10:10,10"},
        {"--load-change", "1:10,"},
        {"--load-change", "1:,10"},
        {"--load-change", "1:10,-1"},
        {"--load-change", "1:10,10,10"},
        {"--load-change", "1:10,10", "2:5,5"},
        {"--load-pos", "nan"},
        {"--noise", "1000"},
        {"--seed", "4294967296"},
        {"--stop-after", "-1"},
        {"--hang-up-after", "0"},
        {"--identity-suffix", "1"},
        {"--identity-suffix", "001"},
        {"--name", ""},
        {"--name", "COM1,COM2"},
        {"--name", "A=B"},
        {"--bogus"},
        // pelmora-cli's --verbose, which the simulated supply does not have.
        {"-v"},
        {"stray"},
        {"--"},
    };
    for (const auto& arguments : refused) {
        EXPECT_THROW(ParseArguments(arguments), UsageError) << arguments.front();
    }
}

TEST(SimOptionsTest, AnEmptyValueIsRefusedForEveryOption) {
    for (const std::string option :
         {"--name", "--load-pos", "--load-neg", "--noise", "--seed", "--identity-suffix", "--log",
          "--link", "--load-change", "--delay", "--stop-after", "--resume-at", "--split",
          "--hang-up-after"}) {
        const std::string joined = option + "=";
        for (const auto& arguments : {std::vector<std::string_view>{option, ""},
                                      std::vector<std::string_view>{joined, "--garbage"}}) {
            try {
                ParseArguments(arguments);
                ADD_FAILURE() << option << " took an empty value";
            } catch (const UsageError& error) {
                EXPECT_TRUE(std::string_view(error.what()).starts_with(option + ": "))
                    << error.what();
            }
        }
    }
    // What follows the mark is the command's.
    EXPECT_EQ(Parse({"--", "printf", ""}).command, (std::vector<std::string>{"printf", ""}));
}

TEST(SimOptionsTest, LoadsCanBeShortsAndChangeOnSchedule) {
    const SimOptions options = Parse({"--load-pos", "0", "--load-change", "2.5:inf,0", "--load-neg",
                                      "0.0", "--load-change", "0:33,1e3"});
    const SimConfig& config = options.config;
    EXPECT_EQ(config.positiveLoadOhms, kShortOhms);
    EXPECT_EQ(config.negativeLoadOhms, kShortOhms);
    ASSERT_EQ(config.loadChanges.size(), 2u);
    EXPECT_EQ(config.loadChanges[0].after, 2500ms);
    EXPECT_TRUE(std::isinf(config.loadChanges[0].positiveOhms));
    EXPECT_EQ(config.loadChanges[0].negativeOhms, kShortOhms);
    EXPECT_EQ(config.loadChanges[1].after, 0ms);
    EXPECT_DOUBLE_EQ(config.loadChanges[1].positiveOhms, 33.0);
    EXPECT_DOUBLE_EQ(config.loadChanges[1].negativeOhms, 1000.0);
    EXPECT_TRUE(Parse({}).config.loadChanges.empty());
}

TEST(SimOptionsTest, NumbersAreDecimalAndVersionIsOffered) {
    EXPECT_EQ(Parse({"--delay", "010"}).config.replyDelay, 10ms);
    EXPECT_EQ(Parse({"--split", "08"}).config.splitGap, 8ms);
    EXPECT_TRUE(Parse({"--version"}).showVersion);
    EXPECT_FALSE(Parse({}).showVersion);
}

TEST(SimOptionsTest, PortEntryGoesAheadOfTheEntriesAlreadyListed) {
    const std::string entry = PortsEntry("COM12", "/dev/pts/7");
    EXPECT_EQ(ChainedPortsValue(entry, nullptr), "COM12=/dev/pts/7");
    EXPECT_EQ(ChainedPortsValue(entry, ""), "COM12=/dev/pts/7");

    const auto entries = ParsePortsVariable(ChainedPortsValue(entry, "COM1=/dev/pts/3"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "COM12");
    EXPECT_EQ(entries[0].devicePath, "/dev/pts/7");
    EXPECT_EQ(entries[1].name, "COM1");
    EXPECT_EQ(entries[1].devicePath, "/dev/pts/3");
}

} // namespace
} // namespace pelmora::sim
