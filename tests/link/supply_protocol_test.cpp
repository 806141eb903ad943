#include "link/supply_protocol.h"
#include "link/voltage_table.h"

#include <gtest/gtest.h>

using namespace pelmora;
using namespace pelmora::protocol;

TEST(VoltageCommand, CarriesBothMagnitudesAndEndsInCarriageReturn) {
    EXPECT_EQ(BuildVoltageCommand("050", "120"), "V050120\r");
    EXPECT_EQ(BuildVoltageCommand("010", "010"), "V010010\r");
    EXPECT_EQ(BuildVoltageCommand(VoltageCodeAt(15), VoltageCodeAt(1)), "V130015\r");
    // "-7V" is row 9 of the negative list; its code carries no sign.
    EXPECT_EQ(kVoltageSteps[9].negativeText, "-7V");
    EXPECT_EQ(BuildVoltageCommand("010", VoltageCodeAt(9)), "V010070\r");
}

TEST(VoltageTable, MapsPositionsAndCodesBothWays) {
    ASSERT_EQ(kVoltageSteps.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        const auto& step = kVoltageSteps[static_cast<std::size_t>(i)];
        EXPECT_EQ(VoltageIndexOf(step.code), i);
        EXPECT_EQ(VoltageCodeAt(i), step.code);
        EXPECT_EQ(step.code.size(), 3u);
        EXPECT_EQ(step.negativeText.substr(1), step.positiveText);
        EXPECT_EQ(step.negativeText.front(), '-');
        EXPECT_TRUE(IsVoltageCode(step.code));
    }
    EXPECT_EQ(VoltageCodeAt(-1), "010");
    EXPECT_EQ(VoltageCodeAt(16), "010");
    EXPECT_EQ(VoltageIndexOf("045"), 0);
    EXPECT_FALSE(IsVoltageCode("045"));
    EXPECT_FALSE(IsVoltageCode("10"));
}

TEST(IdentityReply, NeedsAllFifteenBytes) {
    EXPECT_TRUE(IsIdentityReply("ACKPNDRELVOV99\r"));
    EXPECT_TRUE(IsIdentityReply("ACKPNDRELVOV99\rtrailing"));
    EXPECT_FALSE(IsIdentityReply("ACKPNDRELVOV01\r"));
    EXPECT_FALSE(IsIdentityReply("ACKPNDRELVOV99"));
    EXPECT_FALSE(IsIdentityReply("ACKPNDRELVOV99\n"));
    EXPECT_FALSE(IsIdentityReply(""));
    EXPECT_FALSE(IsIdentityReply("xACKPNDRELVOV99\r"));
    EXPECT_EQ(ModelOf("ACKPNDRELVOV99\r"), "DRELVOV99");
}

TEST(CurrentReply, TakesBothFieldsFromTheirPositions) {
    const auto reading = ParseCurrentReply("ACKA,123,045\r");
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->positiveMa, 123);
    EXPECT_EQ(reading->negativeMa, 45);

    const auto oddFields = ParseCurrentReply("ACKA:-15:1.5");
    ASSERT_TRUE(oddFields);
    EXPECT_EQ(oddFields->positiveMa, -15);
    EXPECT_EQ(oddFields->negativeMa, 1);

    // Separators and anything from byte 12 on are never looked at.
    const auto noisy = ParseCurrentReply("ACKAx999y0019999");
    ASSERT_TRUE(noisy);
    EXPECT_EQ(noisy->positiveMa, 999);
    EXPECT_EQ(noisy->negativeMa, 1);
}

TEST(CurrentReply, ShortRepliesReadAsFarAsTheyGo) {
    const auto bare = ParseCurrentReply("ACKA");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->positiveMa, 0);
    EXPECT_EQ(bare->negativeMa, 0);

    // Six bytes after "ACKA": the negative field is cut to the one byte at position 9.
    const auto cut = ParseCurrentReply("ACKA,123,4");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->positiveMa, 123);
    EXPECT_EQ(cut->negativeMa, 4);
}

TEST(CurrentReply, RejectsAnythingNotStartingWithAckA) {
    EXPECT_FALSE(ParseCurrentReply("ACKB,123,045\r"));
    EXPECT_FALSE(ParseCurrentReply("ACK"));
    EXPECT_FALSE(ParseCurrentReply(""));
    EXPECT_FALSE(ParseCurrentReply("ACKPNDRELVOV99\r"));
    EXPECT_FALSE(ParseCurrentReply("acka,123,045\r"));
}

TEST(CurrentReply, WholeReplyMustKeepItsLayout) {
    const auto reading = ParseWholeCurrentReply("ACKA,123,045\r");
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->positiveMa, 123);
    EXPECT_EQ(reading->negativeMa, 45);
    const auto signedFields = ParseWholeCurrentReply("ACKA; -5;+12\r");
    ASSERT_TRUE(signedFields);
    EXPECT_EQ(signedFields->positiveMa, -5);
    EXPECT_EQ(signedFields->negativeMa, 12);

    for (const std::string_view refused :
         {"ACKA,123,045", "ACKA,123,0456\r", "ACKA,123,45\r", "ACKA,1.5,045\r", "ACKA,abc,045\r",
          "ACKA,123,   \r", "ACKA,12 ,045\r", "ACKA,123,-+1\r", "ACKB,123,045\r", "\r", ""}) {
        EXPECT_FALSE(ParseWholeCurrentReply(refused)) << refused;
    }
}

TEST(ReplyText, EndsAtTheCountOrAtANulByte) {
    const char bytes[] = {'A', 'C', 'K', 'A', '\0', '9', '9'};
    EXPECT_EQ(ReplyText(bytes, 7), "ACKA");
    EXPECT_EQ(ReplyText(bytes, 3), "ACK");
    EXPECT_EQ(ReplyText(bytes, 0), "");
    EXPECT_EQ(ReplyText("AB\r", 3), "AB\r");
}
