#include "link/escaped_bytes.h"

#include <gtest/gtest.h>
#include <string>

using pelmora::EscapeBytes;

TEST(EscapedBytes, KeepsPrintableTextAndNamesEverythingElse) {
    EXPECT_EQ(EscapeBytes("ACKPNDRELVOV99\r"), "ACKPNDRELVOV99\\r");
    EXPECT_EQ(EscapeBytes(std::string("a\nb\\c\0\x13\x7f\xff", 9)),
              "a\\nb\\\\c\\x00\\x13\\x7f\\xff");
    EXPECT_EQ(EscapeBytes(""), "");
}
