#include "cli/controlled_supply.h"

#include "cli/cli_error.h"
#include "link/local_time.h"

#include <chrono>

namespace pelmora::cli {

namespace {

using Clock = SupplyController::Clock;

std::string TripLine(const overcurrent::TripRecord& trip) {
    return std::string("tripped: ") + (trip.rail == Rail::Positive ? "pos " : "neg ") +
           std::to_string(trip.readingMa) + " mA > " + std::to_string(trip.limitMa) + " mA at " +
           FormatLocalTimestamp(trip.when);
}

} // namespace

ControlledSupply::ControlledSupply(SupplyAccess& supply,
                                   const std::optional<overcurrent::TripSettings>& trip)
    : m_supply(supply) {
    if (trip) {
        m_controller.Configure(*trip);
    }
}

void ControlledSupply::SwitchOn(std::string_view positiveCode, std::string_view negativeCode) {
    const auto now = Clock::now();
    m_controller.SetVoltages(positiveCode, negativeCode, now);
    // A fresh controller holds no trip and runs no program: nothing refuses the first "on".
    for (const auto& command : m_controller.SwitchOn(now).send) {
        if (command.kind == SupplyCommand::Kind::Voltages) {
            m_supply.SwitchOn(command.positiveCode, command.negativeCode);
        }
    }
}

void ControlledSupply::WatchAsOn() {
    m_controller.WatchAsOn(Clock::now());
}

PolledCurrents ControlledSupply::Poll() {
    PolledCurrents polled = m_supply.Poll();
    const auto reaction = polled.lost ? m_controller.Lost(Clock::now())
                                      : m_controller.Polled(polled.reading, Clock::now(),
                                                            std::chrono::system_clock::now());
    polled.average = m_controller.Average().Rounded();
    polled.tripped = reaction.tripped.has_value();
    std::optional<ProgramEnd> ended;
    Carry(reaction, ended);
    polled.programEnded = reaction.programEnded;
    return polled;
}

void ControlledSupply::StartProgram(std::vector<SequenceStep> steps,
                                    std::optional<std::size_t> passes) {
    std::optional<ProgramEnd> ended;
    Carry(m_controller.StartProgram(std::move(steps), passes, false, Clock::now()), ended);
}

std::optional<ProgramEnd> ControlledSupply::Tick() {
    const auto reaction = m_controller.Tick(Clock::now());
    std::optional<ProgramEnd> ended = reaction.programEnded;
    Carry(reaction, ended);
    return ended;
}

void ControlledSupply::Carry(const Reaction& reaction, std::optional<ProgramEnd>& ended) {
    for (const auto& command : reaction.send) {
        try {
            if (command.kind == SupplyCommand::Kind::Reset) {
                m_supply.SwitchOff();
            } else {
                m_supply.SwitchOn(command.positiveCode, command.negativeCode);
            }
        } catch (const CliError& error) {
            if (reaction.tripped) {
                m_switchOffProblem = error.what();
                return;
            }
            if (command.kind == SupplyCommand::Kind::Voltages) {
                m_stepProblem = error.what();
                std::optional<ProgramEnd> ignored;
                Carry(m_controller.NotTaken(Clock::now()), ignored);
                ended = ProgramEnd::StepNotTaken;
            }
            // A reset that did not go through is the verb's to report, as it switches off at
            // its end and says whether that worked.
            return;
        }
    }
}

void ControlledSupply::ThrowTrip() const {
    const std::string line = TripLine(*m_controller.Trip());
    if (!m_switchOffProblem.empty()) {
        throw CliError(kExitNoSupply,
                       line + ", but the output could NOT be switched off: " + m_switchOffProblem);
    }
    throw CliError(kExitTripped, line);
}

} // namespace pelmora::cli
