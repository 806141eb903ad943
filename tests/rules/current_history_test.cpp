#include "rules/current_history.h"

#include <gtest/gtest.h>

TEST(CurrentHistory, AverageDividesByTenAndTruncatesTowardZero) {
    CurrentHistory history;
    EXPECT_EQ(history.Average(), 0);
    history.Push(-15);
    EXPECT_EQ(history.Average(), -1);
    history.Push(-5);
    EXPECT_EQ(history.Average(), -2);

    CurrentHistory steady;
    const int expected[] = {5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 50};
    for (const int shown : expected) {
        steady.Push(50);
        EXPECT_EQ(steady.Average(), shown);
    }
}

TEST(CurrentHistory, KeepsOnlyTheLastTenSamples) {
    CurrentHistory history;
    history.Push(999);
    for (int i = 0; i < CurrentHistory::kLength - 1; ++i) {
        history.Push(0);
    }
    EXPECT_EQ(history.Average(), 99);
    history.Push(0);
    EXPECT_EQ(history.Average(), 0);
}
