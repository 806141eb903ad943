#include "link/command_input.h"

#include <gtest/gtest.h>
#include <vector>

using namespace pelmora;

namespace {

std::optional<std::string> EmptyIn(std::initializer_list<std::string_view> arguments) {
    return FindEmptyValue(std::span(arguments.begin(), arguments.size()));
}

} // namespace

TEST(EmptyValue, IsFoundInEitherFormAndNamesItsOption) {
    EXPECT_FALSE(EmptyIn({"set", "5", "-5", "--device", "/dev/ttyACM0", "--wait=30"}));
    EXPECT_FALSE(EmptyIn({"--name=a=", "-q"}));

    const auto separate = EmptyIn({"set", "13", "-13", "--device", ""});
    ASSERT_TRUE(separate);
    EXPECT_TRUE(separate->starts_with("--device: the value is empty")) << *separate;
    const auto joined = EmptyIn({"--csv=", "monitor"});
    ASSERT_TRUE(joined);
    EXPECT_TRUE(joined->starts_with("--csv: the value is empty")) << *joined;
    EXPECT_TRUE(EmptyIn({"set", "", "5"}));
}

TEST(EmptyValue, WhatFollowsTheMarkBelongsToAnotherProgram) {
    EXPECT_FALSE(EmptyIn({"--name", "COM4", "--", "sh", "-c", "", "--log="}));
    EXPECT_TRUE(EmptyIn({"--log", "", "--", "sh"}));
}

TEST(CutInput, KeepsReadableInputWholeAndCutsTheRestWithItsLength) {
    const std::string limit(kQuotedInputLimit, 'a');
    EXPECT_EQ(CutInput(limit), limit);
    const std::string huge(100000, 'b');
    EXPECT_EQ(CutInput(huge), std::string(kQuotedInputKept, 'b') + "... (100000 bytes)");

    // "é" across the cut goes whole or not at all.
    const std::string accented = std::string(kQuotedInputKept - 1, 'c') + "\xc3\xa9" + huge;
    EXPECT_EQ(CutInput(accented), std::string(kQuotedInputKept - 1, 'c') + "... (" +
                                      std::to_string(accented.size()) + " bytes)");
}

TEST(CutInput, CutsEachLongInputWhereverAMessageQuotesIt) {
    const std::string value(5000, 'v');
    const std::string name(5000, 'n');
    const std::string joined = "--wait=" + value;
    const std::string option = "--" + name + "=5";
    const std::vector<std::string_view> inputs = {"read", "5", joined, option};
    const std::string message = "'" + value + "' is no number; unknown option '" + name +
                                "'; not expected: " + option + "; 5 stays 5";
    // Built by appending: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    std::string expected = "'";
    expected.append(CutInput(value)).append("' is no number; unknown option '");
    expected.append(CutInput(name)).append("'; not expected: ").append(CutInput(option));
    expected.append("; 5 stays 5");
    EXPECT_EQ(CutInputsIn(message, inputs), expected);
}
