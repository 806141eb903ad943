#include "tests/scpi/scripted_host.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;
using namespace std::chrono_literals;
using Wire = std::vector<std::string>;

namespace {

struct Expected {
    int positive;
    int negative;
    std::chrono::milliseconds dwell;
};

void ExpectSteps(const RunProgramAction& run, const std::vector<Expected>& expected) {
    ASSERT_EQ(run.steps.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(run.steps[i].positiveStep, expected[i].positive) << "step " << i;
        EXPECT_EQ(run.steps[i].negativeStep, expected[i].negative) << "step " << i;
        EXPECT_EQ(run.steps[i].dwell, expected[i].dwell) << "step " << i;
    }
}

} // namespace

TEST(Lists, ARailWithOneValueOrNoneHoldsItForEveryStep) {
    ScriptedHost host;
    // Rail 2 at -12 V (step 14) before the program; it has no list of its own.
    host.Send("INST NEG;:VOLT -12;:INST POS;:LIST:VOLT 3,5,6;DWEL 0.5;COUN 2\n");
    EXPECT_EQ(host.Send("LIST:VOLT?;DWEL?;COUN?\n"),
              "3.00000E+00,5.00000E+00,6.00000E+00;5.00000E-01;2\n");
    host.Send("INIT\n");
    ASSERT_EQ(host.programs.size(), 1u);
    ExpectSteps(host.programs[0], {{4, 14, 500ms}, {7, 14, 500ms}, {8, 14, 500ms}});
    EXPECT_EQ(host.programs[0].passes, std::size_t{2});
    EXPECT_TRUE(host.DrainErrors().empty());

    ScriptedHost other;
    other.Send("INST NEG;:LIST:VOLT -5;:LIST:DWEL 0.3,1,2.5;COUN INF;:INIT:IMM\n");
    ASSERT_EQ(other.programs.size(), 1u);
    ExpectSteps(other.programs[0], {{0, 7, 300ms}, {0, 7, 1000ms}, {0, 7, 2500ms}});
    EXPECT_FALSE(other.programs[0].passes);
    EXPECT_EQ(other.Send("LIST:COUN?;:LIST:VOLT?;:INST POS;:LIST:VOLT?\n"),
              "9.90000E+37;-5.00000E+00;\n");
}

TEST(Lists, AProgramThatCannotRunIsRefusedAtInit) {
    const std::vector<std::pair<std::string, std::vector<int>>> cases = {
        {"LIST:VOLT 3,5;DWEL 1,1,1", {-221}},
        {"LIST:VOLT 3,5;:INST NEG;:LIST:VOLT -3,-5,-6;DWEL 1", {-221}},
        {"LIST:VOLT 3,5", {-221}},
        {"LIST:DWEL 1", {-221}},
        // A refused list is not kept: nothing is left to run.
        {"LIST:VOLT 3;DWEL 0.2", {-222, -221}},
        {"LIST:VOLT 3;DWEL 1,90000", {-222, -221}},
        {"LIST:VOLT 3,4.5;DWEL 1", {-224, -221}},
    };
    for (const auto& [line, errors] : cases) {
        ScriptedHost host;
        host.Send(line + ";:INIT\n");
        EXPECT_EQ(host.DrainErrors(), errors) << line;
        EXPECT_TRUE(host.programs.empty()) << line;
    }
    ScriptedHost host;
    host.Send("LIST:VOLT 3;DWEL 1;COUN 3;:LIST:COUN 0;DWEL 1,0.1;VOLT 3,20\n");
    host.Send("LIST:DWEL 0.2995\nLIST:DWEL 1.0005\n");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-222, -222, -222, -222, -224}));
    EXPECT_EQ(host.Send("LIST:COUN?;DWEL?;VOLT?\n"), "3;1.00000E+00;3.00000E+00\n");
    EXPECT_EQ(host.Send("LIST:COUN MAX;COUN?;COUN MIN;COUN?;COUN DEF;COUN?\n"), "2147483647;1;1\n");
    EXPECT_TRUE(host.DrainErrors().empty());

    ScriptedHost tripped;
    tripped.instrument.Tripped({pelmora::Rail::Negative, 300, 200, {}});
    tripped.Send("LIST:VOLT 5;DWEL 1;:INIT\n");
    EXPECT_EQ(tripped.DrainErrors(), std::vector<int>{-221});
    EXPECT_TRUE(tripped.programs.empty());
}

TEST(Lists, ARunningProgramShowsInTheOperationRegisterAndLocksOutChanges) {
    ScriptedHost host;
    host.Send("LIST:VOLT 5,6;DWEL 1;:INIT\n");
    EXPECT_EQ(host.Send("STAT:OPER:COND?\n"), "16384\n");
    host.Send("INIT\n");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-213});
    for (const std::string line : {"VOLT 6", "OUTP ON", "APPL POS,3"}) {
        host.Send(line + "\n");
        EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221}) << line;
    }
    EXPECT_EQ(host.programs.size(), 1u);
    EXPECT_TRUE(host.wire.empty());
}

TEST(Lists, OperationCompleteWaitsForTheProgramsEnd) {
    ScriptedHost host;
    host.Send("LIST:VOLT 5,6;DWEL 1;:INIT;*OPC\n");
    EXPECT_EQ(host.Send("*ESR?\n"), "0\n") << "complete while the program runs";
    // The program's steps have switched the output on.
    host.instrument.Dispatch({true, 7, 0});
    EXPECT_EQ(host.Send("*OPC?;:STAT:OPER:COND?;:OUTP?\n"), "1;0;0\n");
    EXPECT_EQ(host.wire, Wire{std::string(pelmora::protocol::kResetCommand)});
    EXPECT_EQ(host.Send("*ESR?\n"), "1\n");
}

TEST(Lists, AbortAndResetEndTheProgram) {
    ScriptedHost host;
    host.Send("LIST:VOLT 5,6;DWEL 1;:INIT;:ABOR;:STAT:OPER:COND?\n");
    EXPECT_EQ(host.Send("STAT:OPER:COND?\n"), "0\n");
    host.Send("INIT;:VOLT 6\n");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221});
    EXPECT_EQ(host.Send("*RST;:STAT:OPER:COND?;:LIST:VOLT?;DWEL?;COUN?\n"), "0;;;1\n");
    EXPECT_EQ(host.programs.size(), 2u);
    EXPECT_TRUE(host.DrainErrors().empty());
}
