#include "tests/scpi/scripted_host.h"

#include <gtest/gtest.h>
#include <string>
#include <variant>
#include <vector>

using namespace pelmora::scpi;
using Outcome = ActionResult::Outcome;
using Wire = std::vector<std::string>;

TEST(RailVoltages, TakeTheSixteenStepsWithTheRailsSign) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("VOLT 3.5;VOLT?;VOLT? MIN;VOLT? MAX\n"),
              "3.50000E+00;1.00000E+00;1.30000E+01\n");
    EXPECT_EQ(host.Send("INST NEG;VOLT -3500 mV;VOLT?;VOLT? MIN;VOLT? MAX;:INST?\n"),
              "-3.50000E+00;-1.00000E+00;-1.30000E+01;NEG\n");
    EXPECT_EQ(host.Send("VOLT MAX;VOLT?;:VOLT MIN;VOLT?;:VOLT DEF;VOLT?\n"),
              "-1.30000E+01;-1.00000E+00;-1.00000E+00\n");
    EXPECT_EQ(host.Send("SOUR:VOLT:LEV:IMM:AMPL -1.2E1;:APPL? NEG;APPL? POS\n"),
              "-1.20000E+01;3.50000E+00\n");
    EXPECT_TRUE(host.DrainErrors().empty());
    EXPECT_TRUE(host.wire.empty());
}

TEST(RailVoltages, RefuseValuesOffTheStepsWithoutChangingAnything) {
    ScriptedHost host;
    host.Send("VOLT 5;:INST:NSEL 2;:VOLT -12\n");
    const std::vector<std::pair<std::string, int>> cases = {
        {"INST:NSEL 1;:VOLT 13.5", -222},
        {"INST:NSEL 1;:VOLT 0.5", -222},
        {"INST:NSEL 1;:VOLT -5", -222},
        {"INST:NSEL 1;:VOLT 4.5", -224},
        {"INST:NSEL 1;:VOLT 1.49", -224},
        {"INST:NSEL 2;:VOLT 5", -222},
        {"INST:NSEL 2;:VOLT -14", -222},
        {"INST:NSEL 2;:VOLT -4.5", -224},
        {"INST:NSEL 2;:VOLT 0", -222},
        {"INST:NSEL 3", -222},
        {"INST FOO", -224},
        {"APPL NEG,5", -222},
        {"APPL POS,5.5,1", -224},
        {"APPL POS,6,1 V", -131},
        {"OUTP 2", -224},
        {"VOLT INF", -222},
    };
    for (const auto& [line, error] : cases) {
        host.Send(line + "\n");
        EXPECT_EQ(host.DrainErrors(), std::vector<int>{error}) << line;
    }
    EXPECT_EQ(host.Send("APPL? POS;APPL? NEG;:OUTP?\n"), "5.00000E+00;-1.20000E+01;0\n");
    EXPECT_TRUE(host.wire.empty());
}

TEST(SupplyChanges, ReachTheSupplyAsOneCommandAtTheLinesEnd) {
    ScriptedHost host;
    host.Send("OUTP ON\n");
    EXPECT_EQ(host.wire, Wire{"V010010\r"});
    // Never +5 V beside the old negative voltage, nor -12 V beside the old positive one.
    host.Send("INST:NSEL 1;:VOLT 5;:INST:NSEL 2;:VOLT -12\n");
    EXPECT_EQ(host.wire, (Wire{"V010010\r", "V050120\r"}));

    // A line that leaves things as they were sends nothing.
    host.Send("VOLT -5;VOLT -12;:OUTP ON\n");
    EXPECT_EQ(host.wire.size(), 2u);

    host.Send("OUTP OFF;:APPL POS,3,0.5;APPL NEG,-4,MAX\n");
    EXPECT_EQ(host.wire.back(), "RST\r");
    host.Send("VOLT -6\n");
    EXPECT_EQ(host.wire.size(), 3u);
    host.Send("OUTPUT:STATE 1\n");
    EXPECT_EQ(host.wire.back(), "V030060\r");
    EXPECT_TRUE(host.DrainErrors().empty());

    // A command error drops the rest of its line, not what came before it.
    host.Send("VOLT -9;FOO;VOLT -10\n");
    EXPECT_EQ(host.wire.back(), "V030090\r");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-113});
}

TEST(SupplyChanges, ResetBringsThePanelsStartingState) {
    ScriptedHost host;
    host.instrument.SetModel("DRELVOV99");
    EXPECT_EQ(host.Send("*IDN?\n"), "Pelmora,DRELVOV99,0,1.0.0.1\n");
    host.Send("VOLT 7;:INST NEG;VOLT -9;:OUTP ON\n");
    EXPECT_EQ(host.Send("*RST;OUTP?;INST:NSEL?;:APPL? POS;APPL? NEG\n"),
              "0;1;1.00000E+00;-1.00000E+00\n");
    EXPECT_EQ(host.wire, (Wire{"V070090\r", "RST\r"}));
    host.Send("*RST\n");
    EXPECT_EQ(host.wire.size(), 2u);
}

TEST(SupplyChanges, ThatFailReportTheHardwareError) {
    ScriptedHost host;
    host.outcomes = {Outcome::NoAnswer, Outcome::Gone};
    host.Send("OUTP ON\n");
    host.Send("VOLT 2\n");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-240, -241}));

    host.instrument.SupplyLost();
    EXPECT_EQ(host.Send("OUTP?\n"), "0\n");
    host.Send("OUTP ON\n");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221});
    // Found again, the supply stays off until a client switches it on.
    host.instrument.SupplyFound();
    EXPECT_EQ(host.Send("OUTP?\n"), "0\n");
    EXPECT_EQ(host.wire, (Wire{"V010010\r", "V020010\r"}));
}

TEST(CurrentReadings, MeasureAfterTheLinesChangesInAmps) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("VOLT 5;OUTP ON;:MEAS:CURR?;CURR? NEG;:INST NEG;:MEAS:CURR:DC?\n"),
              "1.23000E-01;4.50000E-02;4.50000E-02\n");
    EXPECT_EQ(host.wire, (Wire{"V050010\r", "REQA\r"}));

    host.outcomes = {Outcome::NoAnswer};
    EXPECT_EQ(host.Send("MEAS:CURR?;:OUTP?\n"), "1\n");
    EXPECT_EQ(host.Send("MEAS:CURR? BOTH\n"), "");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-240, -224}));
}

TEST(CurrentReadings, OneLineReadsBothRailsFromOneReplyUntilTheSettingsChange) {
    ScriptedHost host;
    host.Send("OUTP ON\n");
    host.wire.clear();
    EXPECT_EQ(host.Send("MEAS:CURR? POS;CURR? NEG\n"), "1.23000E-01;4.50000E-02\n");
    EXPECT_EQ(host.Send("MEAS:CURR? NEG\n"), "4.50000E-02\n") << "a new line asks anew";
    EXPECT_EQ(host.wire, (Wire{"REQA\r", "REQA\r"}));

    host.wire.clear();
    host.Send("MEAS:CURR?;:VOLT 5;:MEAS:CURR?\n");
    EXPECT_EQ(host.wire, (Wire{"REQA\r", "V050010\r", "REQA\r"}));

    // A reply that did not come is asked for again by the next query.
    host.wire.clear();
    host.outcomes = {Outcome::NoAnswer};
    EXPECT_EQ(host.Send("MEAS:CURR? POS;CURR? NEG\n"), "4.50000E-02\n");
    EXPECT_EQ(host.wire, (Wire{"REQA\r", "REQA\r"}));
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-240});

    // Another client changes the voltages between the two queries of the line.
    Session other(host.instrument);
    host.wire.clear();
    host.session.Receive("MEAS:CURR? POS;CURR? NEG\n");
    const Step first = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Act>(first));
    host.session.Complete(host.Carry(std::get<Act>(first).action));
    host.Send(other, "VOLT 6\n");
    EXPECT_EQ(host.Send(""), "1.23000E-01;4.50000E-02\n");
    EXPECT_EQ(host.wire, (Wire{"REQA\r", "V060010\r", "REQA\r"}));
}

TEST(CurrentReadings, FetchTheAverageOfTheSamplesSinceTheOutputWentOn) {
    ScriptedHost host;
    host.instrument.PollSample({500, 500});
    EXPECT_EQ(host.Send("FETC:CURR?\n"), "0.00000E+00\n");

    host.Send("OUTP ON\n");
    // No sample since then: the answer waits for the next poll.
    EXPECT_EQ(host.Send("FETC:CURR?\n"), "1.23000E-01\n");
    EXPECT_EQ(host.wire.back(), "REQA\r");
    host.instrument.PollSample({100, 20});
    const auto polls = host.wire.size();
    EXPECT_EQ(host.Send("FETCH:SCALAR:CURRENT:DC? POS;:FETC:CURR? NEG\n"),
              "1.11500E-01;3.25000E-02\n");
    EXPECT_EQ(host.wire.size(), polls);

    host.Send("OUTP OFF;:OUTP ON\n");
    EXPECT_EQ(host.Send("FETC:CURR?\n"), "1.11500E-01\n");
    host.Send("OUTP OFF\n");
    host.outcomes = {Outcome::Done, Outcome::Gone};
    EXPECT_EQ(host.Send("OUTP ON;:FETC:CURR?\n"), "");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-241});
}

TEST(InstrumentQueries, AnswerTheHostsFacts) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("*IDN?\n"), "Pelmora,0,0,1.0.0.1\n");
    host.instrument.SetPortText("ttyUSB0 \"Supply\" /dev/ttyUSB0");
    EXPECT_EQ(host.Send("SYST:PORT?;VERS?\n"), "\"ttyUSB0 \"\"Supply\"\" /dev/ttyUSB0\";1999.0\n");
    EXPECT_EQ(host.Send("*TST?\n"), "0\n");
    host.outcomes = {Outcome::NoAnswer};
    EXPECT_EQ(host.Send("*TST?\n"), "1\n");
    EXPECT_EQ(host.wire, (Wire{"REQPN\r", "REQPN\r"}));
    EXPECT_TRUE(host.DrainErrors().empty());
}
