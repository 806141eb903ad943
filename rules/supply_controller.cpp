#include "rules/supply_controller.h"

#include <stdexcept>

namespace pelmora {

SupplyCommand SupplyCommand::Voltages(std::string_view positiveCode,
                                      std::string_view negativeCode) {
    return {Kind::Voltages, std::string(positiveCode), std::string(negativeCode)};
}

SupplyCommand SupplyCommand::Reset() {
    return {Kind::Reset, {}, {}};
}

SupplyController::SupplyController() = default;

SupplyController::SupplyController(Policy policy) : m_policy(policy) {}

std::optional<ProgramProgress> SupplyController::Progress() const {
    if (!m_program || !m_program->applied) {
        return std::nullopt;
    }
    const auto slot = m_program->schedule.SlotAt(*m_program->applied);
    return ProgramProgress{
        slot.step,
        m_program->steps.size(),
        slot.pass,
        m_program->schedule.SlotCount()
            ? std::optional<std::size_t>(*m_program->schedule.SlotCount() / m_program->steps.size())
            : std::nullopt,
        slot.end,
        m_program->schedule.End()};
}

std::optional<SupplyController::Time> SupplyController::NextDue() const {
    if (!m_program) {
        return std::nullopt;
    }
    if (!m_program->applied) {
        return m_program->schedule.SlotAt(0).start;
    }
    const std::size_t next = *m_program->applied + 1;
    const auto slots = m_program->schedule.SlotCount();
    if (slots && next >= *slots) {
        return m_program->schedule.End();
    }
    return m_program->schedule.SlotAt(next).start;
}

Refusal SupplyController::WhyNotOn() const {
    if (m_program) {
        return Refusal::ProgramRunning;
    }
    if (m_policy.refuseWhileAbsent && SupplyAbsent()) {
        return Refusal::SupplyAbsent;
    }
    if (m_engine.Tripped()) {
        return Refusal::Tripped;
    }
    return Refusal::None;
}

Reaction SupplyController::SetVoltages(std::string_view positiveCode, std::string_view negativeCode,
                                       Time now) {
    Reaction reaction;
    if (m_program) {
        reaction.refused = Refusal::ProgramRunning;
        return reaction;
    }
    if (!m_outputOn) {
        m_positiveCode = positiveCode;
        m_negativeCode = negativeCode;
        return reaction;
    }
    if (m_policy.sendEveryChoice && positiveCode == m_positiveCode &&
        negativeCode == m_negativeCode) {
        // Nothing changes, so no new inrush is blanked.
        reaction.send.push_back(SupplyCommand::Voltages(m_positiveCode, m_negativeCode));
        return reaction;
    }
    Apply(positiveCode, negativeCode, now, reaction);
    return reaction;
}

Reaction SupplyController::SwitchOn(Time now) {
    Reaction reaction;
    reaction.refused = WhyNotOn();
    if (reaction.refused != Refusal::None || m_outputOn) {
        return reaction;
    }
    const std::string positive = m_positiveCode;
    const std::string negative = m_negativeCode;
    Apply(positive, negative, now, reaction);
    return reaction;
}

Reaction SupplyController::SwitchOff(Time /*now*/) {
    Reaction reaction;
    if (m_program) {
        EndProgram(ProgramEnd::Stopped, false, reaction);
    }
    SendOff(reaction);
    return reaction;
}

void SupplyController::WatchAsOn(Time now) {
    if (m_engine.OutputOn(now)) {
        m_outputOn = true;
        m_average.Restart();
    }
}

void SupplyController::Configure(const overcurrent::TripSettings& settings) {
    m_engine.Configure(settings);
}

Reaction SupplyController::StartProgram(std::vector<SequenceStep> steps,
                                        std::optional<std::size_t> passes, bool offAtEnd,
                                        Time now) {
    Reaction reaction;
    reaction.refused = WhyNotOn();
    if (reaction.refused != Refusal::None) {
        return reaction;
    }
    SequenceSchedule schedule(steps, now, passes);
    m_program.emplace(Program{std::move(steps), std::move(schedule), offAtEnd, std::nullopt});
    return Tick(now);
}

Reaction SupplyController::StopProgram(Time /*now*/) {
    Reaction reaction;
    if (m_program) {
        EndProgram(ProgramEnd::Stopped, true, reaction);
    }
    return reaction;
}

Reaction SupplyController::Polled(const std::optional<protocol::CurrentReading>& reading, Time now,
                                  WallTime wallClock) {
    Reaction reaction;
    if (reading) {
        m_missedPolls = 0;
        if (m_outputOn) {
            m_average.Add(*reading);
        }
    } else {
        ++m_missedPolls;
    }
    // Each sample, not the average, goes to the protection, and a trip's reset goes out before
    // anything else.
    if (const auto trip = m_engine.Sample({reading, now, wallClock})) {
        reaction.tripped = trip;
        m_outputOn = false;
        reaction.send.push_back(SupplyCommand::Reset());
        if (m_program) {
            EndProgram(ProgramEnd::Tripped, false, reaction);
        }
        return reaction;
    }
    if (m_program && m_missedPolls >= kMissedPollsForSilence) {
        // A program goes on only while the protection can see it.
        EndProgram(ProgramEnd::SupplySilent, true, reaction);
    }
    return reaction;
}

Reaction SupplyController::NotTaken(Time /*now*/) {
    Reaction reaction;
    if (m_program) {
        EndProgram(ProgramEnd::StepNotTaken, true, reaction);
    }
    return reaction;
}

Reaction SupplyController::Lost(Time /*now*/) {
    Reaction reaction;
    m_lost = true;
    if (m_program) {
        EndProgram(ProgramEnd::SupplyLost, false, reaction);
    }
    // Nothing can be sent, and a supply that comes back is reset by whoever finds it.
    m_outputOn = false;
    m_engine.OutputOff();
    return reaction;
}

void SupplyController::Found() {
    m_lost = false;
    m_missedPolls = 0;
}

Reaction SupplyController::Tick(Time now) {
    Reaction reaction;
    if (!m_program) {
        return reaction;
    }
    const auto slot = m_program->schedule.Current(now);
    if (!slot) {
        EndProgram(ProgramEnd::Done, m_program->offAtEnd, reaction);
        return reaction;
    }
    if (m_program->applied == slot->number) {
        return reaction;
    }
    // A step long overdue is passed over for the one due now: each start keeps to the schedule.
    m_program->applied = slot->number;
    const SequenceStep& step = m_program->steps[slot->step];
    reaction.stepBegan = true;
    if (!m_outputOn && m_engine.Tripped()) {
        EndProgram(ProgramEnd::Tripped, false, reaction);
        return reaction;
    }
    Apply(step.positiveCode, step.negativeCode, now, reaction);
    return reaction;
}

void SupplyController::Apply(std::string_view positiveCode, std::string_view negativeCode, Time now,
                             Reaction& reaction) {
    const bool changes = positiveCode != m_positiveCode || negativeCode != m_negativeCode;
    m_positiveCode = positiveCode;
    m_negativeCode = negativeCode;
    if (!m_outputOn) {
        if (!m_engine.OutputOn(now)) {
            reaction.refused = Refusal::Tripped;
            return;
        }
        m_outputOn = true;
    } else if (!changes) {
        // The supply has these already: no command, and no new inrush to blank.
        return;
    } else {
        m_engine.VoltageChanged(now);
    }
    m_average.Restart();
    reaction.send.push_back(SupplyCommand::Voltages(m_positiveCode, m_negativeCode));
}

void SupplyController::EndProgram(ProgramEnd why, bool switchOff, Reaction& reaction) {
    m_program.reset();
    reaction.programEnded = why;
    if (switchOff) {
        SendOff(reaction);
    }
}

void SupplyController::SendOff(Reaction& reaction) {
    m_outputOn = false;
    m_engine.OutputOff();
    reaction.send.push_back(SupplyCommand::Reset());
}

} // namespace pelmora
