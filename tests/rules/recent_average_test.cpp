#include "rules/recent_average.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

TEST(RecentAverage, IsTheMeanOfTheReadingsSinceItsRestartTheLastTenAtMost) {
    RecentAverage average;
    EXPECT_FALSE(average.Milliamps(Rail::Positive));
    EXPECT_FALSE(average.Rounded());
    average.Add({5, 1});
    average.Add({6, 2});
    EXPECT_DOUBLE_EQ(*average.Milliamps(Rail::Positive), 5.5);
    EXPECT_DOUBLE_EQ(*average.Milliamps(Rail::Negative), 1.5);
    EXPECT_EQ(average.Rounded()->positiveMa, 6) << "rounded to the nearest, halves up";
    for (int i = 0; i < 10; ++i) {
        average.Add({100, 200});
    }
    EXPECT_DOUBLE_EQ(*average.Milliamps(Rail::Positive), 100.0);
    average.Restart();
    EXPECT_FALSE(average.Milliamps(Rail::Negative));
    average.Add({999, 0});
    EXPECT_DOUBLE_EQ(*average.Milliamps(Rail::Positive), 999.0);
}

} // namespace
} // namespace pelmora
