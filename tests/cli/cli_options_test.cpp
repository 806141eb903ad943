#include "cli/cli_options.h"
#include "cli/voltage_argument.h"
#include "link/voltage_table.h"
#include "tests/cli/parsed_arguments.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

namespace pelmora::cli {
namespace {

using namespace std::chrono_literals;

TEST(VoltageArgument, TakesEveryStepAsTheListsOfferIt) {
    for (const auto& step : kVoltageSteps) {
        const std::string_view positive = step.positiveText;
        const std::string_view bare = positive.substr(0, positive.size() - 1);
        EXPECT_EQ(VoltageCodeOf(positive, Rail::Positive), step.code) << positive;
        EXPECT_EQ(VoltageCodeOf(bare, Rail::Positive), step.code) << bare;
        EXPECT_EQ(VoltageCodeOf(step.negativeText, Rail::Negative), step.code);
        EXPECT_EQ(VoltageCodeOf(bare, Rail::Negative), step.code) << bare;
        EXPECT_EQ(TableCodeOf(step.code), step.code);
    }
    EXPECT_EQ(VoltageCodeOf("+5", Rail::Positive), "050");
    EXPECT_EQ(VoltageCodeOf("5.0v", Rail::Positive), "050");
    EXPECT_EQ(VoltageCodeOf("1.50", Rail::Positive), "015");
    EXPECT_EQ(VoltageCodeOf("-12V", Rail::Negative), "120");
}

TEST(VoltageArgument, RefusesWhatIsNoStep) {
    for (const std::string_view typed :
         {"0", "0.5", "4.5", "14", "1.55", "1.", ".5", "5VV", "V", "", "five", "05 ", " 5", "-5",
          "0x5", "1e1", "005.0.0", "99999999999"}) {
        EXPECT_FALSE(VoltageCodeOf(typed, Rail::Positive)) << typed;
    }
    EXPECT_FALSE(VoltageCodeOf("+5", Rail::Negative));
    EXPECT_FALSE(VoltageCodeOf("--5", Rail::Negative));
    EXPECT_FALSE(TableCodeOf("50"));
    EXPECT_FALSE(TableCodeOf("045"));
    EXPECT_EQ(ValidSteps(Rail::Positive),
              "1, 1.5, 2, 2.5, 3, 3.5, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 V");
    EXPECT_EQ(StepText("015", Rail::Negative), "-1.5V");
}

TEST(CommandLine, CommonOptionsGoBeforeOrAfterTheVerb) {
    const auto before = Parse({"--port", "COM4", "--wait", "050", "-v", "read", "--json"});
    ASSERT_TRUE(before.options) << before.error;
    EXPECT_EQ(before.options->verb, Verb::Read);
    EXPECT_EQ(before.options->port.name, "COM4");
    EXPECT_EQ(before.options->waitMs, 50); // decimal, not octal
    EXPECT_TRUE(before.options->verbose);
    EXPECT_TRUE(before.options->json);

    const auto after = Parse({"off", "--device", "/dev/ttyACM0", "-q"});
    ASSERT_TRUE(after.options) << after.error;
    EXPECT_EQ(after.options->verb, Verb::Off);
    EXPECT_EQ(after.options->port.device, std::filesystem::path("/dev/ttyACM0"));
    EXPECT_TRUE(after.options->quiet);
    EXPECT_EQ(after.options->waitMs, 30);
}

TEST(CommandLine, VoltagesBecomeCodesWithThePanelsDefaults) {
    const auto set = Parse({"set", "1.5", "-12V"});
    ASSERT_TRUE(set.options) << set.error;
    EXPECT_EQ(set.options->positiveCode, "015");
    EXPECT_EQ(set.options->negativeCode, "120");
    const auto byCode = Parse({"set", "--code", "130", "015"});
    ASSERT_TRUE(byCode.options) << byCode.error;
    EXPECT_EQ(byCode.options->positiveCode, "130");
    EXPECT_EQ(byCode.options->negativeCode, "015");
    const auto on = Parse({"on"});
    ASSERT_TRUE(on.options);
    EXPECT_EQ(on.options->verb, Verb::On);
    EXPECT_EQ(on.options->positiveCode, "010");
    EXPECT_EQ(on.options->negativeCode, "010");
}

TEST(CommandLine, MonitorPlansItsEnd) {
    const auto plain = Parse({"monitor"});
    ASSERT_TRUE(plain.options);
    EXPECT_EQ(plain.options->interval, 300ms);
    EXPECT_FALSE(plain.options->duration || plain.options->samples || plain.options->csvFile);
    const auto planned = Parse({"monitor", "--interval", "0", "--duration", "1.5", "--csv",
                                "out.csv", "--stop-on-error", "--leave-on"});
    ASSERT_TRUE(planned.options) << planned.error;
    EXPECT_EQ(planned.options->interval, 0ms);
    EXPECT_EQ(planned.options->duration, 1500ms);
    EXPECT_EQ(planned.options->csvFile, std::filesystem::path("out.csv"));
    EXPECT_TRUE(planned.options->stopOnError && planned.options->leaveOn);
    EXPECT_EQ(Parse({"monitor", "--samples", "7"}).options->samples, 7);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A user reads one verb's help alone: it lists every option the verb takes, its own and the
// common ones, and tells nothing of options it does not take.
TEST(VerbHelp, ListsWhatTheVerbTakesAndOnlyThat) {
    const std::set<std::string> local = {"ports", "serve"};
    const std::set<std::string> watching = {"set", "on", "monitor", "run"};
    for (const char* verb :
         {"ports", "identify", "set", "on", "off", "read", "monitor", "run", "serve"}) {
        const auto help = Parse({verb, "--help"});
        ASSERT_EQ(help.exitStatus, 0) << verb;
        for (const char* common :
             {"--port NAME", "--device PATH", "--wait MS", "-q,--quiet", "-v,--verbose"}) {
            EXPECT_TRUE(Contains(help.output, "\n  " + std::string(common)))
                << verb << ": " << common;
        }
        EXPECT_EQ(Contains(help.output, "\n  --connect HOST[:PORT]"), !local.contains(verb))
            << help.output;
        EXPECT_EQ(Contains(help.output, "--trip-ma"), watching.contains(verb)) << help.output;
        EXPECT_EQ(Contains(help.output, "exit status 4") ||
                      Contains(help.output, "4 the over-current protection"),
                  watching.contains(verb))
            << help.output;
    }
    EXPECT_TRUE(Contains(Parse({"run", "--help"}).output, "sequence file"));
    EXPECT_FALSE(Contains(Parse({"read", "--help"}).output, "sequence file"));
    EXPECT_TRUE(Contains(Parse({"serve", "--help"}).output, "cannot listen"));
}

TEST(VerbHelp, NamesTheOperandsAsTheUsageLineDoes) {
    const std::string set = Parse({"set", "--help"}).output;
    EXPECT_TRUE(set.starts_with("Usage: pelmora-cli set [OPTIONS] POS NEG\n")) << set;
    EXPECT_TRUE(Contains(set, "\n  POS NEG  ")) << set;
    EXPECT_FALSE(Contains(set, "voltages")) << set;
    EXPECT_TRUE(Contains(Parse({"run", "--help"}).output, "\n  FILE  "));
}

} // namespace
} // namespace pelmora::cli
