#include "sim/supply_model.h"
#include "tests/sim/line_client.h"

#include <gtest/gtest.h>
#include <limits>
#include <set>

namespace pelmora::sim {
namespace {

using test::Quiet;

std::string On(std::string_view positive, std::string_view negative) {
    return protocol::BuildVoltageCommand(positive, negative);
}

protocol::CurrentReading Currents(SupplyModel& model,
                                  SupplyModel::Clock::time_point at = SupplyModel::Clock::now()) {
    const auto reply = model.Handle(protocol::kCurrentRequest, at);
    EXPECT_TRUE(reply.has_value());
    const auto reading = protocol::ParseCurrentReply(reply.value_or(""));
    EXPECT_TRUE(reading.has_value());
    return reading.value_or(protocol::CurrentReading{-1, -1});
}

TEST(SupplyModelTest, AcceptsEveryPairOfTableCodes) {
    SupplyModel model(Quiet());
    for (const auto& positive : kVoltageSteps) {
        for (const auto& negative : kVoltageSteps) {
            model.Handle(protocol::kResetCommand);
            EXPECT_FALSE(model.Handle(On(positive.code, negative.code)).has_value());
            EXPECT_TRUE(model.State().outputOn);
            EXPECT_EQ(model.State().positiveCode, positive.code);
            EXPECT_EQ(model.State().negativeCode, negative.code);
        }
    }
}

TEST(SupplyModelTest, IgnoresVoltageCommandsOutsideTheTable) {
    SupplyModel model(Quiet());
    for (const std::string_view bad : {"V005010\r", "V010140\r", "V0a0010\r", "V01001\r",
                                       "V0100100\r", "v010010\r", "V010010", "W010010\r"}) {
        EXPECT_FALSE(model.Handle(bad).has_value()) << bad;
        EXPECT_FALSE(model.State().outputOn) << bad;
    }
    model.Handle(On("050", "120"));
    model.Handle("V130011\r");
    EXPECT_EQ(model.State().positiveCode, "050");
    EXPECT_EQ(model.State().negativeCode, "120");
}

TEST(SupplyModelTest, CurrentsAreOhmsLawClampedToThreeDigits) {
    SimConfig config = Quiet();
    config.positiveLoadOhms = 10.0;
    config.negativeLoadOhms = std::numeric_limits<double>::infinity();
    SupplyModel model(config);
    model.Handle(On("130", "130"));
    const auto reading = Currents(model);
    EXPECT_EQ(reading.positiveMa, kMaxCurrentMa); // 1300 mA does not fit
    EXPECT_EQ(reading.negativeMa, 0);

    config.positiveLoadOhms = 30.0;
    config.negativeLoadOhms = 2000.0;
    SupplyModel rounding(config);
    rounding.Handle(On("025", "035"));
    const auto rounded = Currents(rounding);
    EXPECT_EQ(rounded.positiveMa, 83); // 83.3 mA
    EXPECT_EQ(rounded.negativeMa, 2);  // 1.75 mA
}

TEST(SupplyModelTest, AShortReadsFullScaleAtEveryVoltage) {
    SimConfig config = Quiet();
    config.positiveLoadOhms = kShortOhms;
    config.noiseMa = 5;
    SupplyModel model(config);
    for (const auto& step : kVoltageSteps) {
        model.Handle(On(step.code, "050"));
        const auto reading = Currents(model);
        EXPECT_EQ(reading.positiveMa, kMaxCurrentMa) << step.code;
        EXPECT_GE(reading.negativeMa, 45);
        EXPECT_LE(reading.negativeMa, 55);
    }
    model.Handle(protocol::kResetCommand);
    EXPECT_EQ(model.Handle(protocol::kCurrentRequest), "ACKA,000,000\r");
}

TEST(SupplyModelTest, LoadsChangeOnScheduleFromWhenTheOutputFirstWentOn) {
    using namespace std::chrono_literals;
    SimConfig config = Quiet();
    config.positiveLoadOhms = 100.0;
    config.negativeLoadOhms = 100.0;
    // Given out of order, and two at once: the one given last wins.
    config.loadChanges = {{5s, 10.0, kShortOhms}, {2s, 50.0, 25.0}, {5s, kShortOhms, 1000.0}};
    SupplyModel model(config);
    const auto start = SupplyModel::Clock::time_point{} + 1h;

    // The schedule waits for the output, however long it stays off.
    EXPECT_EQ(Currents(model, start).positiveMa, 0);
    model.Handle(On("050", "050"), start + 10s);
    const auto on = start + 10s;
    EXPECT_EQ(Currents(model, on).positiveMa, 50);
    EXPECT_EQ(Currents(model, on + 1999ms).negativeMa, 50);

    const auto second = Currents(model, on + 2s);
    EXPECT_EQ(second.positiveMa, 100);
    EXPECT_EQ(second.negativeMa, 200);

    // Going off and on again does not start the schedule again.
    model.Handle(protocol::kResetCommand, on + 3s);
    model.Handle(On("050", "050"), on + 4s);
    EXPECT_EQ(Currents(model, on + 4s).positiveMa, 100);

    const auto shorted = Currents(model, on + 5s);
    EXPECT_EQ(shorted.positiveMa, kMaxCurrentMa);
    EXPECT_EQ(shorted.negativeMa, 5);
    EXPECT_EQ(Currents(model, on + 1h).positiveMa, kMaxCurrentMa);
}

TEST(SupplyModelTest, NoiseStaysWithinItsBoundAndFollowsTheSeed) {
    SimConfig config = Quiet();
    config.noiseMa = 3;
    const auto readings = [&config] {
        SupplyModel model(config);
        model.Handle(On("050", "050")); // 50 mA into 100 ohms
        std::vector<int> values;
        for (int i = 0; i < 200; ++i) {
            const auto reading = Currents(model);
            values.push_back(reading.positiveMa);
            values.push_back(reading.negativeMa);
        }
        return values;
    };
    const auto first = readings();
    for (const int value : first) {
        EXPECT_GE(value, 47);
        EXPECT_LE(value, 53);
    }
    EXPECT_GT(std::set<int>(first.begin(), first.end()).size(), 1u);
    EXPECT_EQ(readings(), first);
    config.seed += 1;
    EXPECT_NE(readings(), first);
}

TEST(SupplyModelTest, OutputOffReadsZeroWithoutNoise) {
    SimConfig config;
    config.noiseMa = 5;
    SupplyModel model(config);
    EXPECT_EQ(model.Handle(protocol::kCurrentRequest), "ACKA,000,000\r");
    model.Handle(On("100", "100"));
    EXPECT_FALSE(model.Handle(protocol::kResetCommand).has_value());
    EXPECT_EQ(model.Handle(protocol::kCurrentRequest), "ACKA,000,000\r");
}

TEST(SupplyModelTest, LongCurrentReplyOverrunsOneReadButKeepsItsFields) {
    SimConfig config = Quiet();
    config.longCurrentReply = true;
    SupplyModel model(config);
    model.Handle(On("050", "100"));
    const std::string reply = model.Handle(protocol::kCurrentRequest).value_or("");
    ASSERT_EQ(reply.size(), kLongReplyLength);
    EXPECT_GT(reply.size(), static_cast<std::size_t>(protocol::kReplyCapacity));
    EXPECT_EQ(reply.back(), protocol::kTerminator);
    const auto firstRead = protocol::ParseCurrentReply(reply.substr(0, protocol::kReplyCapacity));
    ASSERT_TRUE(firstRead.has_value());
    EXPECT_EQ(firstRead->positiveMa, 50);
    EXPECT_EQ(firstRead->negativeMa, 100);
}

} // namespace
} // namespace pelmora::sim
