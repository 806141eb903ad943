#include "link/local_time.h"
#include "rules/current_record.h"
#include "tests/support/time_zone.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

using namespace pelmora;
using namespace std::chrono;

namespace {

// 2026-12-08T05:03:07.250Z
constexpr sys_seconds kMoment = sys_days{year{2026} / 12 / 8} + hours{5} + minutes{3} + seconds{7};

} // namespace

TEST(LocalTimestamp, WritesTheOffsetWithItsColonInEveryZone) {
    const auto when = kMoment + milliseconds{250};
    {
        const InTimeZone tokyo("JST-9");
        EXPECT_EQ(FormatLocalTimestamp(when), "2026-12-08T14:03:07.250+09:00");
    }
    {
        const InTimeZone newYork("EST5");
        EXPECT_EQ(FormatLocalTimestamp(when), "2026-12-08T00:03:07.250-05:00");
    }
    {
        const InTimeZone india("IST-5:30");
        EXPECT_EQ(FormatLocalTimestamp(when), "2026-12-08T10:33:07.250+05:30");
    }
    {
        const InTimeZone newfoundland("NST3:30");
        EXPECT_EQ(FormatLocalTimestamp(when), "2026-12-08T01:33:07.250-03:30");
    }
    {
        const InTimeZone utc("UTC0");
        EXPECT_EQ(FormatLocalTimestamp(when), "2026-12-08T05:03:07.250+00:00");
    }
}

TEST(LocalTimestamp, TruncatesToTheMillisecondAndCrossesTheDate) {
    const InTimeZone tokyo("JST-9");
    EXPECT_EQ(FormatLocalTimestamp(kMoment + microseconds{999'999}),
              "2026-12-08T14:03:07.999+09:00");
    EXPECT_EQ(FormatLocalTimestamp(kMoment), "2026-12-08T14:03:07.000+09:00");
    EXPECT_EQ(FormatLocalTimestamp(kMoment + hours{10}), "2026-12-09T00:03:07.000+09:00");
}

TEST(CurrentRecord, RowsCarryReadingsAndAveragesOrNothingAfterAFailedPoll) {
    const InTimeZone tokyo("JST-9");
    EXPECT_EQ(kCurrentRecordHeader, "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA");

    CurrentRecord record;
    record.time = kMoment + milliseconds{250};
    record.elapsed = milliseconds{12'345};
    record.reading = protocol::CurrentReading{51, -3};
    record.average = {48, 0};
    EXPECT_EQ(FormatCurrentRecord(record), "2026-12-08T14:03:07.250+09:00,12.345,51,-3,48,0");

    record.elapsed = milliseconds{5};
    record.reading.reset();
    EXPECT_EQ(FormatCurrentRecord(record), "2026-12-08T14:03:07.250+09:00,0.005,,,,");

    record.elapsed = hours{30};
    EXPECT_EQ(FormatCurrentRecord(record), "2026-12-08T14:03:07.250+09:00,108000.000,,,,");
}
