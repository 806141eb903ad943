#include "tests/scpi/scripted_host.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;
using Wire = std::vector<std::string>;

namespace {

std::vector<int> DrainErrors(Session& session) {
    std::vector<int> errors;
    auto& queue = session.Client().Errors();
    for (Error error = queue.Take(); error != Error::None; error = queue.Take()) {
        errors.push_back(static_cast<int>(error));
    }
    return errors;
}

} // namespace

TEST(Clients, EachSpeaksToTheRailItChoseAndOnlyThat) {
    ScriptedHost host;
    Session other(host.instrument);
    host.Send(other, "INST:NSEL 2\n");
    // The host's session never chose: rail 1, whatever the other one did.
    host.Send("VOLT MAX;:OUTP ON\n");
    EXPECT_EQ(host.wire, Wire{"V130010\r"});
    host.Send("CURR:PROT 0.3;PROT:STAT ON\n");
    const auto& protection = host.instrument.Protection();
    EXPECT_TRUE(protection.positive.enabled);
    EXPECT_EQ(protection.positive.limitMa, 300);
    EXPECT_FALSE(protection.negative.enabled);
    EXPECT_EQ(host.Send(other, "INST:NSEL?;:VOLT?\n"), "2;-1.00000E+00\n");
}

TEST(Clients, KeepTheirRailAcrossAWaitWhileAnotherChoosesOne) {
    ScriptedHost host;
    Session other(host.instrument);
    host.Send("OUTP ON\n");
    host.session.Receive("INST:NSEL 2;:MEAS:CURR?;:VOLT MAX\n");
    ASSERT_TRUE(std::holds_alternative<Act>(host.session.Run()));
    host.Send(other, "INST:NSEL 1\n");
    host.session.Complete({ActionResult::Outcome::Done, {10, 20}});
    EXPECT_EQ(host.Send(""), "2.00000E-02\n");
    EXPECT_EQ(host.wire.back(), "V010130\r") << "MAX on rail 2 is -13 V";
}

TEST(Clients, ReadOnlyTheirOwnErrorsAndEvents) {
    ScriptedHost host;
    Session other(host.instrument);
    host.Send(other, "VOLT 4.5;*ESE 16\n");
    EXPECT_EQ(host.Send("SYST:ERR?;*ESR?;*ESE?;*STB?\n"), "0,\"No error\";0;0;16\n");
    EXPECT_EQ(host.Send(other, "*STB?;*ESR?;SYST:ERR?\n"),
              "36;16;-224,\"Illegal parameter value\"\n");

    // *OPC completes for the client that asked only.
    host.Send("LIST:VOLT 5;DWEL 1;:INIT;*OPC\n");
    host.instrument.ProgramEnded();
    EXPECT_EQ(host.Send(other, "*ESR?\n"), "0\n");
    EXPECT_EQ(host.Send("*ESR?\n"), "1\n");

    // An error nobody's command caused reaches everyone.
    host.instrument.ReportToAll(Error::HardwareMissing);
    EXPECT_EQ(DrainErrors(other), std::vector<int>{-241});
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-241});
}

TEST(Clients, ShareTheConditionsAndLatchTheirEventsEach) {
    ScriptedHost host;
    Session other(host.instrument);
    host.Send("OUTP ON\n");
    EXPECT_EQ(host.Send(other, "STAT:OPER:COND?;EVEN?;EVEN?\n"), "256;256;0\n");
    EXPECT_EQ(host.Send("STAT:OPER?\n"), "256\n") << "read by the other client, not by this one";
    host.Send(other, "STAT:QUES:ENAB 512\n");
    host.instrument.SupplyLost();
    EXPECT_EQ(host.Send("*STB?;STAT:QUES:COND?\n"), "0;512\n");
    EXPECT_EQ(host.Send(other, "*STB?\n"), "8\n");
    host.Send("*CLS\n");
    EXPECT_EQ(host.Send(other, "STAT:QUES?\n"), "512\n");
}

TEST(Clients, GiveUpAWaitingLineAndGoOnWithTheNext) {
    ScriptedHost host;
    host.Send("LIST:VOLT 5;DWEL 1;:INIT\n");
    host.session.Receive("*OPC?;:VOLT 7\n*IDN?\n");
    const Step waiting = host.session.Run();
    ASSERT_TRUE(std::holds_alternative<Act>(waiting));
    EXPECT_TRUE(std::holds_alternative<ProgramEndAction>(std::get<Act>(waiting).action));
    host.session.AbandonLine();
    EXPECT_FALSE(host.session.Waiting());
    EXPECT_EQ(host.Send(""), "Pelmora,0,0,1.0.0.1\n") << "the rest of the waiting line is gone";
    EXPECT_TRUE(host.DrainErrors().empty());
}

TEST(OffAlwaysWins, OutputOffEndsARunningProgram) {
    ScriptedHost host;
    host.Send("LIST:VOLT 5,6;DWEL 1;:INIT\n");
    host.instrument.Dispatch({true, 7, 0});
    EXPECT_EQ(host.Send("OUTP OFF;:OUTP?;:STAT:OPER:COND?\n"), "0;0\n");
    EXPECT_TRUE(host.DrainErrors().empty());
    EXPECT_EQ(host.wire, Wire{"RST\r"});
    // What is not off is still the program's while it runs.
    host.Send("INIT;:VOLT 6;:OUTP ON\n");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-221, -221}));
}

TEST(SupplySilence, EndsWithAnyAnsweredExchange) {
    ScriptedHost host;
    host.instrument.PollFailed();
    host.Send("OUTP ON\n");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-221});
    EXPECT_EQ(host.Send("*TST?;:OUTP ON;:OUTP?\n"), "0;1\n");
    EXPECT_TRUE(host.DrainErrors().empty());
}
