#include "link/decimal_reading.h"

#include <gtest/gtest.h>
#include <limits>

using pelmora::DecimalReading;

TEST(DecimalReading, ReadsLeadingNumberAfterBlanksAndSign) {
    EXPECT_EQ(DecimalReading("30"), 30);
    EXPECT_EQ(DecimalReading("012"), 12);
    EXPECT_EQ(DecimalReading(" 12"), 12);
    EXPECT_EQ(DecimalReading("\t\n 7x"), 7);
    EXPECT_EQ(DecimalReading("-12"), -12);
    EXPECT_EQ(DecimalReading("+5"), 5);
    EXPECT_EQ(DecimalReading("1.5"), 1);
}

TEST(DecimalReading, TextWithoutDigitsReadsZero) {
    EXPECT_EQ(DecimalReading(""), 0);
    EXPECT_EQ(DecimalReading("abc"), 0);
    EXPECT_EQ(DecimalReading("-"), 0);
    EXPECT_EQ(DecimalReading("+-3"), 0);
    EXPECT_EQ(DecimalReading("x12"), 0);
}

TEST(DecimalReading, LongRunsOfDigitsSaturate) {
    constexpr int kMax = std::numeric_limits<int>::max();
    constexpr int kMin = std::numeric_limits<int>::min();
    EXPECT_EQ(DecimalReading("2147483647"), kMax);
    EXPECT_EQ(DecimalReading("2147483648"), kMax);
    EXPECT_EQ(DecimalReading("-2147483648"), kMin);
    EXPECT_EQ(DecimalReading("-2147483649"), kMin);
    EXPECT_EQ(DecimalReading(std::string(400, '9')), kMax);
    EXPECT_EQ(DecimalReading("-" + std::string(400, '9')), kMin);
    EXPECT_EQ(DecimalReading("0000000000000000000000042"), 42);
}
