#include "cli/json_text.h"

#include <gtest/gtest.h>

namespace pelmora::cli {
namespace {

TEST(JsonString, ValidUtf8PassesAsItIs) {
    for (const std::string text :
         {"COM3",
          "/dev/serial/by-id/usb-Pr\xc3\xbc"
          "fger_\xe2\x82\xac_\xf0\x9f\x94\x8c",
          "\xc2\x80\xdf\xbf", "\xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80\xef\xbf\xbf",
          "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"}) {
        EXPECT_EQ(JsonString(text), "\"" + text + "\"");
    }
}

TEST(JsonString, ControlCharactersQuotesAndBackslashesAreEscaped) {
    EXPECT_EQ(JsonString(std::string("A\r\n\t\x1f\x7f\0z", 8)),
              "\"A\\u000d\\u000a\\u0009\\u001f\\u007f\\u0000z\"");
    EXPECT_EQ(JsonString("say \"hi\" \\ there"), "\"say \\\"hi\\\" \\\\ there\"");
}

TEST(JsonString, EachByteOutsideValidUtf8BecomesAReplacementCharacter) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string json;
    };
    const std::vector<Case> cases = {
        {"stray continuation byte", "a\x80z", "\"a\\ufffdz\""},
        {"Latin-1 byte", "caf\xe9", "\"caf\\ufffd\""},
        {"truncated at the end", "\xe2\x82", "\"\\ufffd\\ufffd\""},
        {"truncated before ASCII", "\xf0\x9f\x94z", "\"\\ufffd\\ufffd\\ufffdz\""},
        {"overlong two bytes", "\xc0\xaf\xc1\xbf", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"overlong three bytes", "\xe0\x9f\xbf", "\"\\ufffd\\ufffd\\ufffd\""},
        {"overlong four bytes", "\xf0\x8f\xbf\xbf", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"surrogate", "\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},
        {"beyond U+10FFFF", "\xf4\x90\x80\x80", "\"\\ufffd\\ufffd\\ufffd\\ufffd\""},
        {"never in UTF-8", "\xf5\xfe\xff", "\"\\ufffd\\ufffd\\ufffd\""},
        {"valid after invalid", "\xff\xc3\xa9", "\"\\ufffd\xc3\xa9\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(JsonString(c.bytes), c.json) << c.name;
    }
}

} // namespace
} // namespace pelmora::cli
