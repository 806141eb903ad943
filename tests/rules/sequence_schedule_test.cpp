#include "rules/sequence_schedule.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace pelmora {
namespace {

using namespace std::chrono_literals;
using Clock = SequenceSchedule::Clock;

const Clock::time_point kScheduleStart = Clock::time_point{} + 1h;

std::vector<SequenceStep> Dwells(std::initializer_list<std::chrono::milliseconds> dwells) {
    std::vector<SequenceStep> steps;
    for (const auto dwell : dwells) {
        steps.push_back({dwell, "050", "050"});
    }
    return steps;
}

TEST(SequenceScheduleTest, EachStepStartsAtTheSumOfTheDwellsBeforeIt) {
    const auto steps = Dwells({300ms, 1000ms, 700ms});
    const SequenceSchedule schedule(steps, kScheduleStart, 2);
    ASSERT_EQ(schedule.SlotCount(), 6u);
    const std::vector<Clock::time_point> starts = {
        kScheduleStart,          kScheduleStart + 300ms,  kScheduleStart + 1300ms,
        kScheduleStart + 2000ms, kScheduleStart + 2300ms, kScheduleStart + 3300ms};
    for (std::size_t number = 0; number < starts.size(); ++number) {
        const auto slot = schedule.SlotAt(number);
        EXPECT_EQ(slot.number, number);
        EXPECT_EQ(slot.pass, number / 3);
        EXPECT_EQ(slot.step, number % 3);
        EXPECT_EQ(slot.start, starts[number]) << number;
        EXPECT_EQ(slot.end - slot.start, steps[number % 3].dwell) << number;
    }
    EXPECT_EQ(schedule.End(), kScheduleStart + 4000ms);
}

TEST(SequenceScheduleTest, ALongProgramDoesNotDrift) {
    // A third of a second does not add up exactly in many clocks' units; the schedule must
    // still land on the millisecond after thousands of steps.
    const auto steps = Dwells({333ms, 334ms, 333ms});
    const SequenceSchedule schedule(steps, kScheduleStart, std::nullopt);
    EXPECT_FALSE(schedule.SlotCount());
    EXPECT_FALSE(schedule.End());
    EXPECT_EQ(schedule.SlotAt(30'000).start, kScheduleStart + 10'000s);
    EXPECT_EQ(schedule.SlotAt(30'001).start, kScheduleStart + 10'000s + 333ms);
}

TEST(SequenceScheduleTest, TheCurrentStepAndItsEndFollowTheClock) {
    const auto steps = Dwells({300ms, 1000ms});
    const SequenceSchedule schedule(steps, kScheduleStart, 2);

    const auto before = schedule.Current(kScheduleStart - 5s);
    ASSERT_TRUE(before);
    EXPECT_EQ(before->number, 0u);

    const auto first = schedule.Current(kScheduleStart);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->step, 0u);
    EXPECT_EQ(first->end - kScheduleStart, 300ms);

    EXPECT_EQ(schedule.Current(kScheduleStart + 299ms)->number, 0u);
    EXPECT_EQ(schedule.Current(kScheduleStart + 300ms)->number, 1u)
        << "a step begins as the last ends";
    const auto second = schedule.Current(kScheduleStart + 1000ms);
    EXPECT_EQ(second->step, 1u);
    EXPECT_EQ(second->end - (kScheduleStart + 1000ms), 300ms) << "time left in the step";

    const auto repeat = schedule.Current(kScheduleStart + 1400ms);
    ASSERT_TRUE(repeat);
    EXPECT_EQ(repeat->pass, 1u);
    EXPECT_EQ(repeat->step, 0u);
    EXPECT_EQ(repeat->number, 2u);

    EXPECT_EQ(schedule.Current(kScheduleStart + 2599ms)->number, 3u);
    EXPECT_FALSE(schedule.Current(kScheduleStart + 2600ms)) << "the program is over";
}

TEST(SequenceScheduleTest, AProgramWithoutEndKeepsRepeating) {
    const auto steps = Dwells({300ms, 700ms});
    const SequenceSchedule schedule(steps, kScheduleStart, std::nullopt);
    const auto late = schedule.Current(kScheduleStart + 1000h + 500ms);
    ASSERT_TRUE(late);
    EXPECT_EQ(late->pass, 3'600'000u);
    EXPECT_EQ(late->step, 1u);
    EXPECT_EQ(late->start, kScheduleStart + 1000h + 300ms);
}

TEST(SequenceScheduleTest, ImpossibleProgramsAreRefused) {
    EXPECT_THROW(SequenceSchedule({}, kScheduleStart, 1), std::invalid_argument);
    EXPECT_THROW(SequenceSchedule(Dwells({300ms}), kScheduleStart, 0), std::invalid_argument);
    EXPECT_THROW(SequenceSchedule(Dwells({300ms, 0ms}), kScheduleStart, 1), std::invalid_argument);
}

} // namespace
} // namespace pelmora
