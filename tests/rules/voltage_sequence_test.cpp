#include "link/command_input.h"
#include "rules/voltage_sequence.h"

#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

namespace pelmora {
namespace {

using namespace std::chrono_literals;

struct Problem {
    std::size_t line;
    std::string field;
    std::string message;
    SequenceProblem pieces;
};

Problem ProblemIn(std::string_view text) {
    try {
        const auto steps = ParseSequence(text, "ramp.csv");
        ADD_FAILURE() << "read " << steps.size() << " steps from: " << text;
    } catch (const SequenceError& error) {
        EXPECT_EQ(error.File(), "ramp.csv");
        return {error.Line(), error.Field(), error.what(), error.Problem()};
    }
    return {};
}

// What a front end words in its own language is what the English message quotes.
void ExpectPieces(std::string_view text, SequenceProblemKind kind, const std::string& field,
                  const std::string& quoted, const std::string& limit) {
    const auto problem = ProblemIn(text);
    EXPECT_EQ(problem.pieces.kind, kind) << text;
    EXPECT_EQ(problem.pieces.line, problem.line) << text;
    EXPECT_EQ(problem.pieces.field, field) << text;
    EXPECT_EQ(problem.pieces.text, quoted) << text;
    EXPECT_EQ(problem.pieces.limit, limit) << text;
    EXPECT_TRUE(problem.message.ends_with(SequenceProblemWords(problem.pieces))) << text;
}

TEST(VoltageSequenceTest, ReadsStepsWithCommentsBlankLinesAndAHeader) {
    const auto steps = ParseSequence("# power-up ramp\r\n"
                                     "\n"
                                     " Dwell_s , POS_V , neg_v \n"
                                     "0.3,1,1\n"
                                     "  # settle\n"
                                     "1.5, 5V ,-12   # logic first\n"
                                     "\t2,+13,12\r\n"
                                     "0.75,1.50,-1.5v",
                                     "ramp.csv");
    const std::vector<SequenceStep> expected = {
        {300ms, "010", "010"},
        {1500ms, "050", "120"},
        {2000ms, "130", "120"},
        {750ms, "015", "015"},
    };
    EXPECT_EQ(steps, expected);
}

TEST(VoltageSequenceTest, OnlyTheFirstLineNamingTheFieldsIsAHeader) {
    // A mistyped first step must not pass for a header and be skipped.
    EXPECT_EQ(ProblemIn("dwell,5,5\n1,5,5\n").field, "dwell_s");
    const auto repeated = ProblemIn("dwell_s,pos_v,neg_v\n1,5,5\ndwell_s,pos_v,neg_v\n");
    EXPECT_EQ(repeated.line, 3u);
    EXPECT_EQ(repeated.field, "dwell_s");
}

TEST(VoltageSequenceTest, DwellsBelowOnePollOrNotNumbersAreRefused) {
    EXPECT_EQ(ParseSequence("0.3,5,5", "f").front().dwell, 300ms);
    EXPECT_EQ(ProblemIn("1,5,5\n0.2999,5,5\n").message,
              "ramp.csv:2: dwell_s: '0.2999' is below 0.3 s, one poll of the currents");
    for (const std::string_view dwell : {"0", "-1", "0.1"}) {
        EXPECT_EQ(ProblemIn(std::string(dwell) + ",5,5").field, "dwell_s") << dwell;
    }
    for (const std::string_view dwell : {"abc", "1s", "inf", "nan", "1e999", "+1", "0x2"}) {
        const auto problem = ProblemIn(std::string(dwell) + ",5,5");
        EXPECT_EQ(problem.field, "dwell_s") << dwell;
        EXPECT_NE(problem.message.find("not a number"), std::string::npos) << problem.message;
    }
    EXPECT_EQ(ParseSequence("86400,5,5", "f").front().dwell, 24h);
    EXPECT_NE(ProblemIn("86400.5,5,5").message.find("repeat the step"), std::string::npos);
}

TEST(VoltageSequenceTest, VoltagesOutsideTheTableAreRefusedByRail) {
    const auto positive = ProblemIn("1,5,5\n1,5,5\n\n1,-5,5\n");
    EXPECT_EQ(positive.line, 4u);
    EXPECT_EQ(positive.field, "pos_v");
    EXPECT_EQ(positive.message,
              "ramp.csv:4: pos_v: '-5' is no step of the positive rail; valid "
              "steps: 1, 1.5, 2, 2.5, 3, 3.5, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 V");
    for (const std::string_view negative : {"+5", "4.5", "14", "050", "5 V"}) {
        const auto problem = ProblemIn("1,5," + std::string(negative));
        EXPECT_EQ(problem.field, "neg_v") << negative;
        EXPECT_EQ(problem.line, 1u);
    }
}

TEST(VoltageSequenceTest, MissingAndExtraFieldsAreNamed) {
    EXPECT_EQ(ProblemIn("1,5").field, "neg_v");
    EXPECT_EQ(ProblemIn("1").field, "pos_v");
    EXPECT_EQ(ProblemIn("1,,5").field, "pos_v");
    EXPECT_EQ(ProblemIn(",5,5").field, "dwell_s");
    EXPECT_EQ(ProblemIn("1,5,5,").message,
              "ramp.csv:1: 4 fields where a step has 3: dwell_s,pos_v,neg_v");
    EXPECT_EQ(ProblemIn("1,5, # neg_v forgotten").message,
              "ramp.csv:1: neg_v: missing; a step is dwell_s,pos_v,neg_v");
}

TEST(VoltageSequenceTest, AProgramWithoutStepsIsRefused) {
    for (const std::string_view text : {"", "\n\n", "# nothing yet\n", "dwell_s,pos_v,neg_v\n"}) {
        const auto problem = ProblemIn(text);
        EXPECT_EQ(problem.line, 0u);
        EXPECT_EQ(problem.message, "ramp.csv: holds no steps");
    }
}

TEST(VoltageSequenceTest, TheFirstProblemIsReportedEvenAfterGoodSteps) {
    std::string text;
    for (int i = 0; i < 100; ++i) {
        text += "0.5,5,5\n";
    }
    text += "0.5,5,5.5\n";
    EXPECT_EQ(ProblemIn(text).line, 101u);
}

TEST(VoltageSequenceTest, AByteOrderMarkBeforeTheTextIsPassedOver) {
    const std::string mark = "\xef\xbb\xbf";
    // As a spreadsheet saves "CSV UTF-8": the header must still be one.
    EXPECT_EQ(ParseSequence(mark + "dwell_s,pos_v,neg_v\r\n1,5,-5\r\n", "f").size(), 1u);
    EXPECT_EQ(ParseSequence(mark + "2,5,-5", "f").front().dwell, 2s);
    EXPECT_EQ(ProblemIn(mark).message, "ramp.csv: holds no steps");
    // Anywhere else it is a stray character in a field.
    const auto inside = ProblemIn("1,5,-5\n" + mark + "1,5,-5\n");
    EXPECT_EQ(inside.line, 2u);
    EXPECT_EQ(inside.message, "ramp.csv:2: dwell_s: '\\xef\\xbb\\xbf1' is not a number of seconds");
}

TEST(VoltageSequenceTest, QuotedFieldsAreOneLineOfPrintableTextAndCutWhenLong) {
    // An escape sequence that would set the terminal's title must not reach it as such.
    EXPECT_EQ(ProblemIn("1,\x1b]0;owned\x07,5").message,
              "ramp.csv:1: pos_v: '\\x1b]0;owned\\x07' is no step of the positive rail; valid "
              "steps: 1, 1.5, 2, 2.5, 3, 3.5, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13 V");
    // what() is read up to the first NUL: the reason after the field must still be there.
    using namespace std::string_view_literals;
    EXPECT_EQ(ProblemIn("1,5,-5\0x"sv).message,
              "ramp.csv:1: neg_v: '-5\\x00x' is no step of the negative rail; valid steps: -1, "
              "-1.5, -2, -2.5, -3, -3.5, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13 V");

    // Cut as a long command-line argument is, by the bytes of the field itself.
    const std::string huge(1000, 'x');
    EXPECT_EQ(ProblemIn(huge + ",5,-5").message,
              "ramp.csv:1: dwell_s: '" + std::string(kQuotedInputKept, 'x') +
                  "... (1000 bytes)' is not a number of seconds");
    std::string escapes;
    for (std::size_t i = 0; i < kQuotedInputKept; ++i) {
        escapes += "\\x01";
    }
    EXPECT_EQ(ProblemIn(std::string(1000, '\x01') + ",5,-5").message,
              "ramp.csv:1: dwell_s: '" + escapes + "... (1000 bytes)' is not a number of seconds");
}

TEST(VoltageSequenceTest, AProgramHoldsAtMostTheStepLimit) {
    std::string text = "dwell_s,pos_v,neg_v\n";
    for (std::size_t i = 0; i < kMaxSequenceSteps; ++i) {
        text += "1,5,-5\n";
    }
    EXPECT_EQ(ParseSequence(text, "f").size(), kMaxSequenceSteps);
    text += "# one more\n1,5,-5\n";
    const auto problem = ProblemIn(text);
    EXPECT_EQ(problem.line, kMaxSequenceSteps + 3);
    EXPECT_EQ(problem.message,
              "ramp.csv:100003: more than 100000 steps, the most a program may hold");
}

TEST(VoltageSequenceTest, EachProblemHasItsKindAndItsPiecesApart) {
    const std::string negativeSteps =
        "-1, -1.5, -2, -2.5, -3, -3.5, -4, -5, -6, -7, -8, -9, -10, -11, -12, -13 V";
    ExpectPieces("1,5,5\n0.2,5,5", SequenceProblemKind::DwellTooShort, "dwell_s", "0.2", "0.3");
    ExpectPieces("90000,5,5", SequenceProblemKind::DwellTooLong, "dwell_s", "90000", "86400");
    ExpectPieces("1 s,5,5", SequenceProblemKind::NotSeconds, "dwell_s", "1 s", "");
    ExpectPieces("1,5,\x1b[2J", SequenceProblemKind::NoSuchVoltage, "neg_v", "\\x1b[2J",
                 negativeSteps);
    ExpectPieces("1,5,5,5,5", SequenceProblemKind::ExtraFields, "", "5", "3");
    ExpectPieces("1,,5", SequenceProblemKind::MissingField, "pos_v", "", "");
    ExpectPieces("# nothing", SequenceProblemKind::NoSteps, "", "", "");
    EXPECT_EQ(ProblemIn("1,5,5\n0.2,5,5").pieces.line, 2u);
}

TEST(VoltageSequenceTest, TheDocumentedExampleIsAValidRamp) {
    std::ifstream file(PELMORA_SEQUENCE_EXAMPLE);
    ASSERT_TRUE(file) << PELMORA_SEQUENCE_EXAMPLE;
    std::ostringstream text;
    text << file.rdbuf();
    const auto steps = ParseSequence(text.str(), "sequence-example.csv");
    ASSERT_GE(steps.size(), 2u);
    EXPECT_EQ(steps.front().positiveCode, "010");
    EXPECT_EQ(steps.back().positiveCode, "050");
    EXPECT_EQ(steps.back().negativeCode, "120");
}

} // namespace
} // namespace pelmora
