#include "rules/overcurrent_trip.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace pelmora::overcurrent {
namespace {

using namespace std::chrono_literals;
using SteadyTime = std::chrono::steady_clock::time_point;

constexpr auto kPoll = 300ms;
const SteadyTime kOn = SteadyTime{} + 1h;
const std::chrono::system_clock::time_point kWallStart =
    std::chrono::system_clock::time_point{} + 24h;

TripSettings Limits(int positiveMa, int negativeMa, int samples = kDefaultSamples,
                    std::chrono::milliseconds blanking = 0ms) {
    TripSettings settings;
    settings.positive = {true, positiveMa};
    settings.negative = {true, negativeMa};
    settings.samples = samples;
    settings.blanking = blanking;
    return settings;
}

// Feeds poll samples one poll period apart, from the moment the output went on.
class Poller {
public:
    explicit Poller(TripEngine& engine) : m_engine(engine), m_at(kOn) {}

    std::optional<TripRecord> Feed(int positiveMa, int negativeMa) {
        return Next(protocol::CurrentReading{positiveMa, negativeMa});
    }
    std::optional<TripRecord> Lost() { return Next(std::nullopt); }
    SteadyTime At() const { return m_at; }

private:
    std::optional<TripRecord> Next(std::optional<protocol::CurrentReading> reading) {
        m_at += kPoll;
        const auto wall =
            kWallStart +
            std::chrono::duration_cast<std::chrono::system_clock::duration>(m_at - kOn);
        return m_engine.Sample({reading, m_at, wall});
    }

    TripEngine& m_engine;
    SteadyTime m_at;
};

TEST(OvercurrentSettingsTest, EachSettingOutOfRangeIsNamed) {
    EXPECT_TRUE(SettingsProblems(Limits(1, 998, 1, 0ms)).empty());
    EXPECT_TRUE(SettingsProblems(Limits(998, 1, 10, 10s)).empty());

    const auto problems = SettingsProblems(Limits(0, 999, 11, 10001ms));
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0], "positive rail limit: 0 mA is outside 1 to 998 mA (readings stop at "
                           "999 mA)");
    EXPECT_NE(problems[1].find("negative rail limit: 999 mA"), std::string::npos);
    EXPECT_EQ(problems[2], "samples over the limit: 11 samples is outside 1 to 10 samples");
    EXPECT_EQ(problems[3], "blanking delay: 10001 ms is outside 0 to 10000 ms");
    EXPECT_EQ(SettingsProblems(Limits(5, 5, 0, -1ms)).size(), 2u);

    // A rail that is off is still checked, so that switching it on later cannot fail.
    TripSettings off;
    off.negative.limitMa = 0;
    EXPECT_EQ(SettingsProblems(off).size(), 1u);

    TripEngine engine;
    EXPECT_THROW(engine.Configure(Limits(0, 5)), std::invalid_argument);
    EXPECT_FALSE(engine.Settings().AnyEnabled());
}

TEST(OvercurrentTripTest, TripsOnlyStrictlyOverTheLimitAfterConsecutiveSamples) {
    TripEngine engine(Limits(100, 500));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(poll.Feed(100, 500)) << "at the limit is not over it";
    }
    EXPECT_FALSE(poll.Feed(101, 0));
    EXPECT_FALSE(poll.Feed(100, 0)) << "back at the limit starts the count again";
    EXPECT_FALSE(poll.Feed(101, 0));
    const auto trip = poll.Feed(150, 0);
    ASSERT_TRUE(trip);
    EXPECT_EQ(trip->rail, Rail::Positive);
    EXPECT_EQ(trip->readingMa, 150);
    EXPECT_EQ(trip->limitMa, 100);
    EXPECT_EQ(trip->when, kWallStart + 24 * kPoll) << "the tripping sample's time";
    EXPECT_TRUE(engine.Tripped());
    EXPECT_EQ(engine.Trip()->readingMa, 150);
    EXPECT_EQ(DescribeTrip(*trip), "positive rail drew 150 mA, over its 100 mA limit");
}

TEST(OvercurrentTripTest, CountsEachRailOnItsOwn) {
    TripEngine engine(Limits(100, 200, 3));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    // The rails take turns being over: neither has three in a row.
    for (int i = 0; i < 6; ++i) {
        EXPECT_FALSE(i % 2 == 0 ? poll.Feed(101, 0) : poll.Feed(0, 201));
    }
    EXPECT_FALSE(poll.Feed(101, 201));
    const auto trip = poll.Feed(0, 999);
    ASSERT_TRUE(trip);
    EXPECT_EQ(trip->rail, Rail::Negative);
    EXPECT_EQ(DescribeTrip(*trip), "negative rail drew 999 mA, over its 200 mA limit");

    TripEngine both(Limits(100, 100, 1));
    ASSERT_TRUE(both.OutputOn(kOn));
    EXPECT_EQ(Poller(both).Feed(300, 400)->rail, Rail::Positive) << "the positive rail first";
}

TEST(OvercurrentTripTest, ARailThatIsOffNeverTrips) {
    TripSettings settings = Limits(100, 100, 1);
    settings.positive.enabled = false;
    TripEngine engine(settings);
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(poll.Feed(999, 0));
    }
    ASSERT_TRUE(poll.Feed(999, 101));
    EXPECT_EQ(engine.Trip()->rail, Rail::Negative);
}

TEST(OvercurrentTripTest, NothingCountsWhileTheOutputIsOff) {
    TripEngine engine(Limits(100, 100, 2));
    Poller poll(engine);
    EXPECT_FALSE(poll.Feed(999, 999));
    EXPECT_FALSE(poll.Feed(999, 999));
    ASSERT_TRUE(engine.OutputOn(poll.At()));
    EXPECT_FALSE(poll.Feed(200, 0));
    engine.OutputOff();
    EXPECT_FALSE(poll.Feed(999, 999));
    ASSERT_TRUE(engine.OutputOn(poll.At()));
    EXPECT_FALSE(poll.Feed(200, 0));
    EXPECT_TRUE(poll.Feed(200, 0));
}

TEST(OvercurrentTripTest, InrushIsIgnoredForTheBlankingTimeAfterOnAndAfterAVoltageChange) {
    TripEngine engine(Limits(100, 100, 1, 1s));
    ASSERT_TRUE(engine.OutputOn(kOn));
    const auto sampleAt = [&engine](SteadyTime at, int milliamps) {
        return engine.Sample({protocol::CurrentReading{milliamps, milliamps}, at, {}});
    };
    EXPECT_FALSE(sampleAt(kOn, 500));
    EXPECT_FALSE(sampleAt(kOn + 999ms, 500));
    EXPECT_FALSE(sampleAt(kOn + 999ms, 50)) << "the inrush is over";

    engine.VoltageChanged(kOn + 1200ms);
    EXPECT_FALSE(sampleAt(kOn + 1500ms, 500)) << "a voltage change starts the blanking again";
    EXPECT_FALSE(sampleAt(kOn + 2199ms, 500));
    EXPECT_TRUE(sampleAt(kOn + 2200ms, 500)) << "the blanking time is over";
}

TEST(OvercurrentTripTest, AVoltageChangeDoesNotHideARailThatWasAlreadyOver) {
    TripEngine engine(Limits(100, 100, 2, 0ms));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    EXPECT_FALSE(poll.Feed(200, 0));
    engine.VoltageChanged(poll.At());
    EXPECT_TRUE(poll.Feed(200, 0)) << "the run goes on across the change";
}

TEST(OvercurrentTripTest, StepsShorterThanTheBlankingDoNotKeepAnOverloadUnwatched) {
    // The default blanking, and a program stepping every 0.4 s: each change would blank again.
    TripEngine engine(Limits(300, 300, kDefaultSamples, kDefaultBlanking));
    ASSERT_TRUE(engine.OutputOn(kOn));
    std::optional<TripRecord> trip;
    SteadyTime tripped{};
    for (auto at = kOn + kPoll; !trip && at < kOn + 10s; at += kPoll) {
        // Steps fall between the polls.
        engine.VoltageChanged(at - 100ms);
        trip = engine.Sample({protocol::CurrentReading{999, 0}, at, {}});
        tripped = at;
    }
    ASSERT_TRUE(trip) << "an overload for ten seconds of short steps never tripped";
    // Within the blanking and the samples it takes, counted from the first sample over.
    EXPECT_LE(tripped - (kOn + kPoll), kDefaultBlanking + kDefaultSamples * kPoll);
}

TEST(OvercurrentTripTest, LostPollsNeitherCountNorBreakARun) {
    TripEngine engine(Limits(100, 100, 3));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    for (int i = 0; i < 10; ++i) {
        EXPECT_FALSE(poll.Lost());
    }
    EXPECT_FALSE(poll.Feed(200, 0));
    EXPECT_FALSE(poll.Lost());
    EXPECT_FALSE(poll.Feed(200, 0));
    EXPECT_FALSE(poll.Lost());
    EXPECT_FALSE(poll.Lost());
    EXPECT_TRUE(poll.Feed(200, 0));
}

TEST(OvercurrentTripTest, ATripLatchesUntilCleared) {
    TripEngine engine(Limits(100, 100, 1));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    const auto trip = poll.Feed(101, 0);
    ASSERT_TRUE(trip);
    EXPECT_FALSE(poll.Feed(999, 999)) << "one trip, reported once";

    EXPECT_FALSE(engine.OutputOn(poll.At()));
    EXPECT_FALSE(poll.Feed(999, 999));
    engine.Configure(Limits(500, 500, 1));
    EXPECT_TRUE(engine.Tripped()) << "new settings do not clear a trip";
    EXPECT_EQ(engine.Trip()->readingMa, trip->readingMa);

    engine.Clear();
    EXPECT_FALSE(engine.Tripped());
    EXPECT_FALSE(poll.Feed(999, 999)) << "the output is off after a trip until it goes on again";
    ASSERT_TRUE(engine.OutputOn(poll.At()));
    EXPECT_FALSE(poll.Feed(500, 500));
    EXPECT_TRUE(poll.Feed(501, 0));
}

TEST(OvercurrentTripTest, NewSettingsStartTheCountAgain) {
    TripEngine engine(Limits(100, 100, 2));
    ASSERT_TRUE(engine.OutputOn(kOn));
    Poller poll(engine);
    EXPECT_FALSE(poll.Feed(200, 0));
    engine.Configure(Limits(150, 100, 2));
    EXPECT_FALSE(poll.Feed(200, 0));
    EXPECT_TRUE(poll.Feed(200, 0));

    // Switching the protection off stops it.
    engine.Clear();
    engine.Configure({});
    ASSERT_TRUE(engine.OutputOn(poll.At()));
    for (int i = 0; i < 5; ++i) {
        EXPECT_FALSE(poll.Feed(999, 999));
    }
}

} // namespace
} // namespace pelmora::overcurrent
