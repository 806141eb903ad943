#include "tests/scpi/scripted_host.h"

#include <gtest/gtest.h>
#include <string>
#include <variant>
#include <vector>

using namespace pelmora::scpi;

TEST(Replies, HoldALinesAnswersInOneWriteAndNothingForCommands) {
    ScriptedHost host;
    host.session.Receive("*ESE 4;*ESE?;*SRE?\n*ESE 8\n");
    const Step first = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Reply>(first));
    EXPECT_EQ(std::get<Reply>(first).text, "4;0\n");
    EXPECT_TRUE(std::holds_alternative<Idle>(host.session.Run()));

    // The failed query answers nothing; the others still do.
    EXPECT_EQ(host.Send("*ESE?;VOLT? FOO;*SRE?\n"), "8;0\n");
    EXPECT_EQ(host.Send("VOLT? FOO\n"), "");
    EXPECT_EQ(host.Send(";; ;\n"), "");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-224, -224}));
}

TEST(Sessions, WaitForTheSupplyWhileOthersGoOn) {
    ScriptedHost host;
    Session other(host.instrument);

    host.session.Receive("OUTP ON;:MEAS:CURR?;*ESE?\n*ESE?\n");
    Step step = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Act>(step));
    const auto* apply = std::get_if<ApplyAction>(&std::get<Act>(step).action);
    ASSERT_TRUE(apply);
    EXPECT_TRUE(apply->outputOn);
    // Handed out means applied: the other session already sees the output on.
    EXPECT_EQ(host.Send(other, "OUTP?\n"), "1\n");

    host.session.Complete({});
    step = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Act>(step));
    EXPECT_TRUE(std::holds_alternative<MeasureAction>(std::get<Act>(step).action));
    // Waiting, the session takes bytes but runs nothing.
    host.session.Receive("*ESE 16\n");
    EXPECT_TRUE(std::holds_alternative<Idle>(host.session.Run()));
    EXPECT_TRUE(host.session.Waiting());

    EXPECT_EQ(host.Send(other, "*ESE 2;*ESE?;:VOLT 6;:MEAS:CURR? NEG\n"), "2;4.50000E-02\n");
    EXPECT_EQ(host.wire, (std::vector<std::string>{"V060010\r", "REQA\r"}));

    host.session.Complete({ActionResult::Outcome::Done, {250, 0}});
    // Each client has its own registers: the other one's *ESE changed nothing here.
    EXPECT_EQ(host.Send(""), "2.50000E-01;0\n0\n");
    EXPECT_EQ(host.Send("*ESE?\n"), "16\n");
    EXPECT_EQ(host.Send(other, "*ESE?\n"), "2\n");
}

TEST(Sessions, IgnoreAResultNobodyAskedFor) {
    ScriptedHost host;
    host.session.Complete({ActionResult::Outcome::Gone, {}});
    EXPECT_EQ(host.Send("MEAS:CURR?\n"), "1.23000E-01\n");
    EXPECT_TRUE(host.DrainErrors().empty());
}

TEST(Sessions, RunTheDocumentedExample) {
    ScriptedHost host;
    host.instrument.SetModel("DRELVOV99");
    EXPECT_EQ(host.Send("*IDN?\n"), "Pelmora,DRELVOV99,0,1.0.0.1\n");
    EXPECT_EQ(host.Send("*RST;INST:NSEL 1;:VOLT 5;:INST:NSEL 2;:VOLT -12;:OUTP ON;*OPC?\n"), "1\n");
    EXPECT_EQ(host.Send("MEAS:CURR? POS;CURR? NEG\n"), "1.23000E-01;4.50000E-02\n");
    EXPECT_EQ(host.Send("VOLT -4.5\n"), "");
    EXPECT_EQ(host.Send("SYST:ERR?;ERR?\n"), "-224,\"Illegal parameter value\";0,\"No error\"\n");
    EXPECT_EQ(host.Send("APPL? POS;:OUTP?;:STAT:OPER:COND?\n"), "5.00000E+00;1;256\n");
    EXPECT_EQ(host.Send("OUTP OFF\n"), "");
    EXPECT_EQ(host.wire, (std::vector<std::string>{"V050120\r", "REQA\r", "RST\r"}));
}
