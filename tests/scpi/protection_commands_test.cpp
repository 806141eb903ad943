#include "tests/scpi/scripted_host.h"

#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;
using Wire = std::vector<std::string>;

namespace {

pelmora::overcurrent::TripRecord PositiveTrip() {
    return {pelmora::Rail::Positive, 512, 500, std::chrono::system_clock::now()};
}

} // namespace

TEST(Protection, SetsEachRailsLimitAndStateAndOneDelay) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("CURR:PROT?;:CURR:PROT:STAT?;:CURR:PROT:DEL?\n"),
              "9.98000E-01;0;5.00000E-01\n");
    host.Send("CURR:PROT 0.5;PROT:STAT ON;DEL 1.5\n");
    host.Send("INST NEG;:SOUR:CURR:PROT:LEV 250 mA\n");
    EXPECT_TRUE(host.DrainErrors().empty());
    const auto& settings = host.instrument.Protection();
    EXPECT_TRUE(settings.positive.enabled);
    EXPECT_EQ(settings.positive.limitMa, 500);
    EXPECT_FALSE(settings.negative.enabled);
    EXPECT_EQ(settings.negative.limitMa, 250);
    EXPECT_EQ(settings.blanking, std::chrono::milliseconds(1500));
    EXPECT_EQ(host.Send("CURR:PROT?;:CURR:PROT:STAT?;:INST POS;:CURR:PROT?;:CURR:PROT:STAT?\n"),
              "2.50000E-01;0;5.00000E-01;1\n");
    EXPECT_EQ(host.Send("CURR:PROT? MIN;PROT? MAX;PROT:DEL:TIME? MIN;:CURR:PROT:DEL? MAX\n"),
              "1.00000E-03;9.98000E-01;0.00000E+00;1.00000E+01\n");
    EXPECT_TRUE(host.wire.empty());
}

TEST(Protection, RefusesValuesTheEngineCannotTake) {
    ScriptedHost host;
    host.Send("CURR:PROT 0.3;PROT:DEL 2\n");
    const std::vector<std::pair<std::string, int>> cases = {
        {"CURR:PROT 0", -222},
        {"CURR:PROT 0.999", -222},
        {"CURR:PROT 1 V", -131},
        {"CURR:PROT INF", -222},
        {"CURR:PROT:DEL 10.5", -222},
        {"CURR:PROT:DEL -1", -222},
        {"CURR:PROT:STAT 2", -224},
        {"CURR:PROT? DEF", -224},
        // Nothing is rounded into the range or onto whole mA and ms.
        {"CURR:PROT 0.0005", -222},
        {"CURR:PROT 0.0015", -224},
        {"CURR:PROT:DEL 0.0001", -224},
        {"CURR:PROT:DEL 10.0004", -222},
    };
    for (const auto& [line, error] : cases) {
        host.Send(line + "\n");
        EXPECT_EQ(host.DrainErrors(), std::vector<int>{error}) << line;
    }
    EXPECT_EQ(host.Send("CURR:PROT?;PROT:DEL?\n"), "3.00000E-01;2.00000E+00\n");
    EXPECT_EQ(host.Send("CURR:PROT MIN;PROT?;PROT MAX;PROT?\n"), "1.00000E-03;9.98000E-01\n");
}

TEST(Protection, ATripLatchesOffUntilCleared) {
    ScriptedHost host;
    host.Send("CURR:PROT 0.5;PROT:STAT ON;:OUTP ON\n");
    host.instrument.Tripped(PositiveTrip());
    EXPECT_EQ(host.Send("OUTP?;:CURR:PROT:TRIP?;:INST NEG;:CURR:PROT:TRIP?;:INST POS\n"),
              "0;1;0\n");
    const auto wireBefore = host.wire;
    host.Send("OUTP ON\n");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221});
    EXPECT_EQ(host.wire, wireBefore);
    host.Send("CURR:PROT:CLE;:OUTP ON\n");
    EXPECT_TRUE(host.DrainErrors().empty());
    EXPECT_EQ(host.Send("OUTP?;:CURR:PROT:TRIP?\n"), "1;0\n");
    EXPECT_EQ(host.wire.size(), wireBefore.size() + 1);
}

TEST(Protection, ATripArrivingWhileALineWaitsKeepsTheOutputOff) {
    ScriptedHost host;
    Session other(host.instrument);
    // The line switches the output on at its end, after the self-test's exchange.
    host.session.Receive("OUTP ON;*TST?\n");
    Step step = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Act>(step));
    host.instrument.Tripped(PositiveTrip());
    host.session.Complete(host.Carry(std::get<Act>(step).action));
    while (!std::holds_alternative<Idle>(step = host.session.Run())) {
        if (const auto* act = std::get_if<Act>(&step)) {
            host.session.Complete(host.Carry(act->action));
        }
    }
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221});
    EXPECT_EQ(host.Send(other, "OUTP?\n"), "0\n");
    EXPECT_EQ(host.wire, Wire{std::string(pelmora::protocol::kIdentityRequest)});
}

TEST(Protection, TripSetsTheQuestionableOverCurrentBitAndTheStatusByte) {
    ScriptedHost host;
    host.Send("STAT:QUES:ENAB 2;*SRE 8\n");
    EXPECT_EQ(host.Send("*STB?\n"), "0\n");
    host.instrument.Tripped(PositiveTrip());
    EXPECT_EQ(host.Send("STAT:QUES:COND?;*STB?\n"), "2;88\n");
    EXPECT_EQ(host.Send("STAT:QUES?;:STAT:QUES?\n"), "2;0\n");
    host.Send("CURR:PROT:CLE\n");
    EXPECT_EQ(host.Send("STAT:QUES:COND?;*STB?\n"), "0;16\n");
}

TEST(Protection, ResetTurnsItOffAndClearsTheTrip) {
    ScriptedHost host;
    host.Send("CURR:PROT 0.2;PROT:STAT ON;DEL 3;:INST NEG;:CURR:PROT:STAT ON\n");
    host.instrument.Tripped(PositiveTrip());
    EXPECT_EQ(
        host.Send("*RST;:CURR:PROT:STAT?;TRIP?;:CURR:PROT?;PROT:DEL?;:INST NEG;:CURR:PROT:STAT?\n"),
        "0;0;9.98000E-01;5.00000E-01;0\n");
    host.Send("OUTP ON\n");
    EXPECT_TRUE(host.DrainErrors().empty());
}
