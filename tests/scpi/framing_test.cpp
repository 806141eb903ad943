#include "scpi/line_framer.h"
#include "tests/scpi/scripted_host.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora::scpi;

namespace {

std::vector<std::string> Lines(LineFramer& framer) {
    std::vector<std::string> lines;
    while (auto frame = framer.Next()) {
        lines.push_back(frame->overlong ? "<overlong>" : frame->text);
    }
    return lines;
}

} // namespace

TEST(LineFraming, EveryTerminatorEndsALineWhereverTheSegmentsSplit) {
    LineFramer framer;
    framer.Receive("*RST\nOUTP?\r\nVOLT?\rINST");
    EXPECT_EQ(Lines(framer), (std::vector<std::string>{"*RST", "OUTP?", "VOLT?"}));
    framer.Receive(":NSEL");
    EXPECT_TRUE(Lines(framer).empty());
    framer.Receive(" 2\r");
    framer.Receive("\n\n\r*IDN?\n");
    EXPECT_EQ(Lines(framer), (std::vector<std::string>{"INST:NSEL 2", "*IDN?"}));
}

TEST(LineFraming, AnOverlongLineIsMarkedOnceAndDroppedToItsEnd) {
    LineFramer framer;
    const std::string longest(LineFramer::kMaxLine, 'A');
    framer.Receive(longest + "\n");
    auto kept = framer.Next();
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->overlong);
    EXPECT_EQ(kept->text.size(), LineFramer::kMaxLine);

    // Marked as soon as it is too long, before its end arrives.
    framer.Receive(longest + "B");
    EXPECT_EQ(Lines(framer), std::vector<std::string>{"<overlong>"});
    framer.Receive(std::string(3 * LineFramer::kMaxLine, 'C'));
    framer.Receive("D\nNEXT\n");
    EXPECT_EQ(Lines(framer), std::vector<std::string>{"NEXT"});
}

TEST(LineFraming, SessionsAnswerLinesSplitAndCombinedAlike) {
    ScriptedHost host;
    EXPECT_EQ(host.Send("*ESE 4\n*ESE?\r\n*ESE 8\r*ESE?\n"), "4\n8\n");
    EXPECT_EQ(host.Send("*E"), "");
    EXPECT_EQ(host.Send("SE"), "");
    EXPECT_EQ(host.Send("?"), "");
    EXPECT_EQ(host.Send("\r"), "8\n");
}

TEST(LineFraming, AnOverlongLineRunsNoneOfItsCommands) {
    ScriptedHost host;
    const std::string padding(LineFramer::kMaxLine, ' ');
    EXPECT_EQ(host.Send("OUTP ON;" + padding + ";*IDN?\nOUTP?\n"), "0\n");
    EXPECT_TRUE(host.wire.empty());
    EXPECT_EQ(host.DrainErrors(), std::vector<int>{-223});
}

TEST(LineFraming, BadBytesStopTheirLineWhereTheyStand) {
    ScriptedHost host;
    using namespace std::string_literals;
    // The unit before the NUL runs; the one holding it and all after it do not.
    EXPECT_EQ(host.Send("*ESE 8;*ESE 16\0;*ESE 32\n*ESE?\n"s), "8\n");
    EXPECT_EQ(host.Send("*ESE?;*ESE 1\xff\xfe\n*ESE?\n"), "8\n8\n");
    EXPECT_EQ(host.Send("*IDN\x01?\n"), "");
    EXPECT_EQ(host.Send("*ESE 16;\x7f\n*ESE?\n"), "16\n");
    EXPECT_EQ(host.DrainErrors(), (std::vector<int>{-101, -101, -101, -101}));
}
