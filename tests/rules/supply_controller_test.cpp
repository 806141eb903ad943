#include "rules/supply_controller.h"

#include <gtest/gtest.h>

namespace pelmora {
namespace {

using namespace std::chrono_literals;
using Time = SupplyController::Time;
using Commands = std::vector<SupplyCommand>;

const Time kStart = Time{} + 1h;
const SupplyController::WallTime kWall{};
constexpr auto kPoll = 300ms;

SupplyCommand Volts(std::string_view positive, std::string_view negative) {
    return SupplyCommand::Voltages(positive, negative);
}

const SupplyCommand kReset = SupplyCommand::Reset();

overcurrent::TripSettings Watching(int limitMa, std::chrono::milliseconds blanking = 0ms) {
    overcurrent::TripSettings settings;
    settings.positive = {true, limitMa};
    settings.negative = {true, limitMa};
    settings.samples = 1;
    settings.blanking = blanking;
    return settings;
}

std::vector<SequenceStep> Steps(std::initializer_list<SequenceStep> steps) {
    return steps;
}

TEST(SupplyController, SwitchesWithOneCommandAndSendsOnlyWhatChanges) {
    SupplyController controller;
    EXPECT_TRUE(controller.SetVoltages("050", "120", kStart).send.empty())
        << "kept for the next on while the output is off";
    EXPECT_EQ(controller.SwitchOn(kStart).send, Commands{Volts("050", "120")});
    EXPECT_TRUE(controller.OutputOn());
    EXPECT_TRUE(controller.SwitchOn(kStart).send.empty()) << "already on";
    EXPECT_TRUE(controller.SetVoltages("050", "120", kStart).send.empty());
    EXPECT_EQ(controller.SetVoltages("060", "120", kStart).send, Commands{Volts("060", "120")});
    EXPECT_EQ(controller.SwitchOff(kStart).send, Commands{kReset});
    EXPECT_EQ(controller.SwitchOff(kStart).send, Commands{kReset}) << "off is always sent";
    EXPECT_FALSE(controller.OutputOn());
    EXPECT_EQ(controller.SwitchOn(kStart).send, Commands{Volts("060", "120")});
}

TEST(SupplyController, ATripResetsFirstAndKeepsTheOutputOffUntilCleared) {
    SupplyController controller;
    controller.Configure(Watching(300));
    controller.SwitchOn(kStart);
    EXPECT_FALSE(controller.Polled(protocol::CurrentReading{300, 0}, kStart + kPoll, kWall).tripped)
        << "at the limit is not over it";
    const auto reaction =
        controller.Polled(protocol::CurrentReading{301, 0}, kStart + 2 * kPoll, kWall);
    ASSERT_TRUE(reaction.tripped);
    EXPECT_EQ(reaction.tripped->rail, Rail::Positive);
    EXPECT_EQ(reaction.send, Commands{kReset});
    EXPECT_FALSE(controller.OutputOn());

    const auto refused = controller.SwitchOn(kStart + 3 * kPoll);
    EXPECT_EQ(refused.refused, Refusal::Tripped);
    EXPECT_TRUE(refused.send.empty());
    EXPECT_EQ(controller.StartProgram(Steps({{1s, "050", "010"}}), 1, true, kStart).refused,
              Refusal::Tripped);
    controller.ClearTrip();
    EXPECT_EQ(controller.SwitchOn(kStart + 4 * kPoll).send, Commands{Volts("010", "010")});
}

TEST(SupplyController, RunsAProgramStepByStepSendingOnlyChanges) {
    SupplyController controller;
    auto reaction = controller.StartProgram(
        Steps({{1s, "050", "010"}, {1s, "050", "010"}, {2s, "060", "010"}}), 2, true, kStart);
    EXPECT_EQ(reaction.send, Commands{Volts("050", "010")});
    EXPECT_TRUE(reaction.stepBegan);
    EXPECT_EQ(controller.NextDue(), kStart + 1s);
    EXPECT_TRUE(controller.Tick(kStart + 500ms).send.empty()) << "early: still the first step";

    reaction = controller.Tick(kStart + 1s);
    EXPECT_TRUE(reaction.stepBegan);
    EXPECT_TRUE(reaction.send.empty()) << "the second step keeps the voltages";
    EXPECT_EQ(controller.Progress()->step, 1u);
    EXPECT_EQ(controller.Tick(kStart + 2s).send, Commands{Volts("060", "010")});
    EXPECT_EQ(controller.Tick(kStart + 4s).send, Commands{Volts("050", "010")}) << "pass two";
    EXPECT_EQ(controller.Progress()->pass, 1u);
    EXPECT_EQ(controller.Progress()->passes, 2u);

    // A wake-up long overdue goes to the step due now.
    EXPECT_EQ(controller.Tick(kStart + 6s + 100ms).send, Commands{Volts("060", "010")});
    EXPECT_EQ(controller.NextDue(), kStart + 8s);
    reaction = controller.Tick(kStart + 8s);
    EXPECT_EQ(reaction.programEnded, ProgramEnd::Done);
    EXPECT_EQ(reaction.send, Commands{kReset});
    EXPECT_FALSE(controller.ProgramRunning());
    EXPECT_FALSE(controller.NextDue());
}

TEST(SupplyController, AProgramMayEndWithTheOutputLeftOn) {
    SupplyController controller;
    controller.StartProgram(Steps({{1s, "050", "010"}}), 1, false, kStart);
    const auto reaction = controller.Tick(kStart + 1s);
    EXPECT_EQ(reaction.programEnded, ProgramEnd::Done);
    EXPECT_TRUE(reaction.send.empty());
    EXPECT_TRUE(controller.OutputOn());
}

TEST(SupplyController, ARunningProgramTakesNoChangeButOffWins) {
    SupplyController controller;
    controller.StartProgram(Steps({{1s, "050", "010"}}), std::nullopt, true, kStart);
    EXPECT_EQ(controller.SetVoltages("130", "010", kStart).refused, Refusal::ProgramRunning);
    EXPECT_EQ(controller.SwitchOn(kStart).refused, Refusal::ProgramRunning);
    EXPECT_EQ(controller.StartProgram(Steps({{1s, "060", "010"}}), 1, true, kStart).refused,
              Refusal::ProgramRunning);
    auto reaction = controller.SwitchOff(kStart + 10s);
    EXPECT_EQ(reaction.send, Commands{kReset});
    EXPECT_EQ(reaction.programEnded, ProgramEnd::Stopped);

    controller.StartProgram(Steps({{1s, "060", "010"}}), std::nullopt, true, kStart + 20s);
    reaction = controller.StopProgram(kStart + 21s);
    EXPECT_EQ(reaction.send, Commands{kReset});
    EXPECT_EQ(reaction.programEnded, ProgramEnd::Stopped);
    EXPECT_TRUE(controller.StopProgram(kStart + 22s).send.empty()) << "nothing runs";
}

TEST(SupplyController, ATripOrALostSupplyEndsTheProgram) {
    SupplyController controller;
    controller.Configure(Watching(300));
    controller.StartProgram(Steps({{1s, "050", "010"}}), std::nullopt, true, kStart);
    auto reaction = controller.Polled(protocol::CurrentReading{999, 0}, kStart + kPoll, kWall);
    EXPECT_EQ(reaction.send, Commands{kReset}) << "one reset, the trip's";
    EXPECT_EQ(reaction.programEnded, ProgramEnd::Tripped);

    controller.ClearTrip();
    controller.StartProgram(Steps({{1s, "050", "010"}}), std::nullopt, true, kStart + 10s);
    reaction = controller.Lost(kStart + 11s);
    EXPECT_TRUE(reaction.send.empty()) << "nothing reaches a port that is gone";
    EXPECT_EQ(reaction.programEnded, ProgramEnd::SupplyLost);
    EXPECT_FALSE(controller.OutputOn());
    EXPECT_TRUE(controller.SupplyAbsent());
    controller.Found();
    EXPECT_FALSE(controller.SupplyAbsent());
    EXPECT_FALSE(controller.OutputOn()) << "a supply that comes back stays off";

    controller.StartProgram(Steps({{1s, "050", "010"}}), std::nullopt, true, kStart + 20s);
    reaction = controller.NotTaken(kStart + 20s);
    EXPECT_EQ(reaction.programEnded, ProgramEnd::StepNotTaken);
    EXPECT_EQ(reaction.send, Commands{kReset});
}

TEST(SupplyController, ASilentSupplyEndsAProgramAtTheMissedPollThatRaisesTheAlert) {
    SupplyController controller;
    controller.StartProgram(Steps({{10s, "050", "010"}}), std::nullopt, true, kStart);
    auto reaction = controller.Polled(std::nullopt, kStart + kPoll, kWall);
    EXPECT_EQ(reaction.programEnded, ProgramEnd::SupplySilent);
    EXPECT_EQ(reaction.send, Commands{kReset});
    EXPECT_TRUE(controller.SupplyAbsent());
}

TEST(SupplyController, SwitchingOnWhileTheSupplyIsAbsentIsThePolicysChoice) {
    SupplyController network({true});
    network.Polled(std::nullopt, kStart, kWall);
    EXPECT_EQ(network.SwitchOn(kStart).refused, Refusal::SupplyAbsent);
    // Any answer ends the silence: a poll, or an exchange of another kind.
    network.Answered();
    EXPECT_EQ(network.SwitchOn(kStart).send, Commands{Volts("010", "010")});
    network.Lost(kStart);
    EXPECT_EQ(network.SwitchOn(kStart).refused, Refusal::SupplyAbsent);

    SupplyController panel;
    panel.Lost(kStart);
    EXPECT_EQ(panel.SwitchOn(kStart).send, Commands{Volts("010", "010")})
        << "the panel's user may switch on what nothing hears";
}

TEST(SupplyController, AveragesTheReadingsSinceTheOutputWentOnOrItsVoltagesChanged) {
    SupplyController controller;
    controller.Polled(protocol::CurrentReading{500, 500}, kStart, kWall);
    EXPECT_FALSE(controller.Average().Rounded()) << "nothing flows with the output off";
    controller.SwitchOn(kStart);
    controller.Polled(protocol::CurrentReading{120, 40}, kStart + kPoll, kWall);
    EXPECT_EQ(controller.Average().Rounded()->positiveMa, 120) << "not a tenth of it";
    controller.Polled(protocol::CurrentReading{130, 40}, kStart + 2 * kPoll, kWall);
    EXPECT_EQ(controller.Average().Rounded()->positiveMa, 125);
    controller.Polled(std::nullopt, kStart + 3 * kPoll, kWall);
    EXPECT_EQ(controller.Average().Rounded()->positiveMa, 125) << "a missed poll adds nothing";
    for (int i = 0; i < 20; ++i) {
        controller.Polled(protocol::CurrentReading{50, 40}, kStart + (4 + i) * kPoll, kWall);
    }
    EXPECT_EQ(controller.Average().Rounded()->positiveMa, 50) << "the last ten only";
    controller.SetVoltages("130", "010", kStart + 30s);
    EXPECT_FALSE(controller.Average().Rounded()) << "readings from before a change are gone";
    controller.Polled(protocol::CurrentReading{700, 40}, kStart + 31s, kWall);
    EXPECT_EQ(controller.Average().Rounded()->positiveMa, 700);
}

TEST(SupplyController, WatchesAnOutputItFoundOnAsIfItHadJustGoneOn) {
    SupplyController controller;
    controller.Configure(Watching(100, 500ms));
    controller.WatchAsOn(kStart);
    EXPECT_TRUE(controller.OutputOn());
    EXPECT_FALSE(controller.Polled(protocol::CurrentReading{500, 0}, kStart + kPoll, kWall).tripped)
        << "within the blanking";
    EXPECT_TRUE(
        controller.Polled(protocol::CurrentReading{500, 0}, kStart + 2 * kPoll, kWall).tripped);
}

TEST(SupplyController, AnOverloadAcrossStepsShorterThanTheBlankingTrips) {
    SupplyController controller;
    overcurrent::TripSettings settings = Watching(300, overcurrent::kDefaultBlanking);
    settings.samples = overcurrent::kDefaultSamples;
    controller.Configure(settings);
    // Steps of 0.4 s, each a new voltage.
    controller.StartProgram(
        Steps({{400ms, "050", "010"}, {400ms, "060", "010"}, {400ms, "070", "010"}}), std::nullopt,
        true, kStart);
    std::optional<ProgramEnd> ended;
    auto at = kStart;
    for (int poll = 1; poll <= 20 && !ended; ++poll) {
        const auto next = kStart + poll * kPoll;
        while (controller.NextDue() && *controller.NextDue() <= next) {
            at = *controller.NextDue();
            controller.Tick(at);
        }
        ended = controller.Polled(protocol::CurrentReading{999, 0}, next, kWall).programEnded;
        at = next;
    }
    EXPECT_EQ(ended, ProgramEnd::Tripped);
    EXPECT_LE(at - kStart, overcurrent::kDefaultBlanking + 3 * kPoll);
}

} // namespace
} // namespace pelmora

namespace pelmora {
namespace {

TEST(SupplyController, APanelsChoicesReachTheSupplyEvenWhenTheySetWhatItHas) {
    SupplyController panel(SupplyController::Policy{false, true});
    panel.Configure(Watching(100, 500ms));
    panel.SwitchOn(kStart);
    EXPECT_EQ(panel.SetVoltages("010", "010", kStart + 1s).send, Commands{Volts("010", "010")});
    // The same voltages draw no new inrush: the blanking that ended is not begun again.
    EXPECT_TRUE(panel.Polled(protocol::CurrentReading{500, 0}, kStart + 1s + kPoll, kWall).tripped);
}

} // namespace
} // namespace pelmora
