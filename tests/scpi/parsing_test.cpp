#include "scpi/header_pattern.h"
#include "scpi/parameter_values.h"
#include "scpi/program_unit.h"
#include "tests/scpi/scripted_host.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;

namespace {

ProgramUnit Read(std::string_view line, Error expected = Error::None) {
    UnitReader reader(line);
    ProgramUnit unit;
    EXPECT_EQ(reader.Next(unit), expected) << line;
    return unit;
}

Parameter Number(double value, std::string suffix = {}) {
    return {Parameter::Kind::Number, value, std::move(suffix)};
}

Parameter Word(std::string word) {
    return {Parameter::Kind::Word, 0.0, std::move(word)};
}

} // namespace

TEST(HeaderPatterns, TakeShortAndLongFormsAndSkipOptionalNodes) {
    const HeaderPattern voltage("[SOURce:]VOLTage[:LEVel][:IMMediate][:AMPLitude]");
    using Header = std::vector<std::string>;
    EXPECT_TRUE(voltage.Matches({"VOLT"}, false));
    EXPECT_TRUE(voltage.Matches({"VOLTAGE"}, false));
    EXPECT_TRUE(voltage.Matches({"SOUR", "VOLT", "LEV", "IMM", "AMPL"}, false));
    EXPECT_TRUE(voltage.Matches({"SOURCE", "VOLTAGE", "AMPLITUDE"}, false));
    EXPECT_FALSE(voltage.Matches({"VOLT"}, true));
    EXPECT_FALSE(voltage.Matches({"VOLTA"}, false));
    EXPECT_FALSE(voltage.Matches({"VOLT", "AMPL", "LEV"}, false));
    EXPECT_FALSE(voltage.Matches(Header{}, false));

    const HeaderPattern measure("MEASure[:SCALar]:CURRent[:DC]?");
    EXPECT_TRUE(measure.Matches({"MEAS", "CURR"}, true));
    EXPECT_TRUE(measure.Matches({"MEASURE", "SCALAR", "CURRENT", "DC"}, true));
    EXPECT_FALSE(measure.Matches({"MEAS"}, true));
    EXPECT_FALSE(measure.Matches({"MEAS", "VOLT"}, true));
    EXPECT_TRUE(HeaderPattern("*IDN?").Matches({"*IDN"}, true));
}

TEST(ProgramUnits, ReadHeadersQueriesAndEveryKindOfParameter) {
    const auto unit = Read(":sour:Volt:LEV?  max");
    EXPECT_TRUE(unit.rooted);
    EXPECT_TRUE(unit.query);
    EXPECT_EQ(unit.mnemonics, (std::vector<std::string>{"SOUR", "VOLT", "LEV"}));
    ASSERT_EQ(unit.parameters.size(), 1u);
    EXPECT_EQ(unit.parameters[0].text, "MAX");

    const auto apply = Read("APPL P25V , +3.5E+0 mV,'it''s'");
    ASSERT_EQ(apply.parameters.size(), 3u);
    EXPECT_EQ(apply.parameters[0].kind, Parameter::Kind::Word);
    EXPECT_EQ(apply.parameters[1].kind, Parameter::Kind::Number);
    EXPECT_DOUBLE_EQ(apply.parameters[1].number, 3.5);
    EXPECT_EQ(apply.parameters[1].text, "MV");
    EXPECT_EQ(apply.parameters[2].kind, Parameter::Kind::Text);
    EXPECT_EQ(apply.parameters[2].text, "it's");

    for (const auto* written : {"VOLT 5", "VOLT 5.", "VOLT 5.0", "VOLT 50E-1", "VOLT .5e1"}) {
        const auto number = Read(written);
        ASSERT_EQ(number.parameters.size(), 1u) << written;
        EXPECT_DOUBLE_EQ(number.parameters[0].number, 5.0) << written;
    }
    // "E" without digits is a suffix's letter, not an exponent.
    EXPECT_EQ(Read("X 5EV").parameters[0].text, "EV");
    EXPECT_TRUE(std::isinf(Read("X 1E999").parameters[0].number));
    EXPECT_TRUE(std::isinf(Read("X -1E999").parameters[0].number));
    // Too small to hold is nothing, however it is written; too large is infinite.
    for (const auto* tiny : {"X 1E-999999", "X -0.0001E-400", "X 0.0000001E-320"}) {
        EXPECT_EQ(Read(tiny).parameters[0].number, 0.0) << tiny;
    }
    const std::string manyDigits = "X 1" + std::string(400, '0') + "E-1";
    EXPECT_TRUE(std::isinf(Read(manyDigits).parameters[0].number));
    EXPECT_TRUE(std::isinf(Read("X 0.001E999999").parameters[0].number));
}

TEST(ProgramUnits, RejectMalformedUnitsWithTheirError) {
    Read("VOLT 5 6", Error::Syntax);
    Read("VOLT,5", Error::Syntax);
    Read("VOLT 5,", Error::Syntax);
    Read("VOLT:", Error::Syntax);
    Read("VOLT 'open", Error::Syntax);
    Read("VOLT -", Error::Syntax);
    Read("*", Error::Syntax);
    Read("VOLT #H1F", Error::Command);
    Read("VOLT (1)", Error::Command);
}

TEST(ParameterValues, ApplySuffixesAndKeywords) {
    const Limits limits{1.0, 13.0, 2.0};
    EXPECT_DOUBLE_EQ(DecimalValue(Number(3500, "MV"), Unit::Volt, limits).value, 3.5);
    EXPECT_DOUBLE_EQ(DecimalValue(Number(3.5, "V"), Unit::Volt, limits).value, 3.5);
    EXPECT_DOUBLE_EQ(DecimalValue(Number(100, "MA"), Unit::Ampere, limits).value, 0.1);
    EXPECT_EQ(DecimalValue(Number(3.5, "A"), Unit::Volt, limits).error, Error::InvalidSuffix);
    EXPECT_EQ(DecimalValue(Number(3.5, "MVV"), Unit::Volt, limits).error, Error::InvalidSuffix);
    EXPECT_DOUBLE_EQ(DecimalValue(Word("MIN"), Unit::Volt, limits).value, 1.0);
    EXPECT_DOUBLE_EQ(DecimalValue(Word("MAXIMUM"), Unit::Volt, limits).value, 13.0);
    EXPECT_DOUBLE_EQ(DecimalValue(Word("DEF"), Unit::Volt, limits).value, 2.0);
    EXPECT_TRUE(std::isinf(DecimalValue(Word("INF"), Unit::Second, limits).value));
    EXPECT_EQ(DecimalValue(Word("MAXI"), Unit::Volt, limits).error, Error::IllegalParameterValue);

    EXPECT_EQ(WholeValue(Number(1.6), 1, 2).value, 2);
    EXPECT_EQ(WholeValue(Number(2.6), 1, 2).error, Error::DataOutOfRange);
    EXPECT_EQ(WholeValue(Number(1, "V"), 1, 2).error, Error::InvalidSuffix);
    EXPECT_EQ(WholeValue(Word("MAX"), 1, 7).value, 7);
    EXPECT_EQ(WholeValue(Word("MIN"), 1, 7).value, 1);
    EXPECT_EQ(WholeValue(Word("DEF"), 1, 7).value, 1);
    EXPECT_EQ(WholeValue(Word("INF"), 1, 7).error, Error::IllegalParameterValue);
    EXPECT_EQ(BooleanValue(Word("ON")).value, true);
    EXPECT_EQ(BooleanValue(Number(2)).error, Error::IllegalParameterValue);

    EXPECT_EQ(Nr3(0.123), "1.23000E-01");
    EXPECT_EQ(Nr3(-3.5), "-3.50000E+00");
    EXPECT_EQ(Quoted("a \"b\""), "\"a \"\"b\"\"\"");
}

TEST(HeaderPaths, CompoundsGoOnFromTheLastPathAndCommonCommandsLeaveIt) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("INST:NSEL 2;:VOLT?\n"), "-1.00000E+00\n");
    EXPECT_EQ(host.Send("inst:nsel 1;nsel?\n"), "1\n");
    EXPECT_EQ(host.Send("STAT:OPER:ENAB 256;*ESE 4;ENAB?;:STAT:QUES:ENAB?\n"), "256;0\n");
    EXPECT_EQ(host.Send("Voltage 5;VOLTage?\n"), "5.00000E+00\n");
    EXPECT_TRUE(host.DrainErrors().empty());
    // After "OUTP" the path is the root's again, so "STAT?" is not "OUTP:STAT?".
    EXPECT_EQ(host.Send("OUTP ON;STAT?\n"), "");
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-113});
}

TEST(CommandErrors, AreQueuedAndDropTheRestOfTheirLine) {
    ScriptedHost host;
    const std::vector<std::pair<std::string, int>> cases = {
        {"*ESE 4;VOLTA 5;*ESE 8", -113},   {"*ESE 4;VOLT;*ESE 8", -109},
        {"*ESE 4;*CLS 1;*ESE 8", -108},    {"*ESE 4;VOLT 5 V V;*ESE 8", -102},
        {"*ESE 4;VOLT 5 A;*ESE 8", -131},  {"*ESE 4;VOLT 'five';*ESE 8", -104},
        {"*ESE 4;VOLT #HFF;*ESE 8", -100}, {"*ESE 4;MEAS:VOLT?;*ESE 8", -113},
    };
    for (const auto& [line, error] : cases) {
        EXPECT_EQ(host.Send(line + "\n*ESE?\n"), "4\n") << line;
        EXPECT_EQ(host.DrainErrors(), std::vector<int>{error}) << line;
    }
}
