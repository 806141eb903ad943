#include "server/supply_scheduler.h"

#include "link/supply_timing.h"
#include "link/typed_voltage.h"
#include "link/voltage_table.h"

#include <asio/post.hpp>

namespace pelmora::server {

namespace {

using Outcome = scpi::ActionResult::Outcome;
using Clock = SupplyController::Clock;

constexpr const char* kProgram = "the program";

std::string StepsText(std::string_view positiveCode, std::string_view negativeCode) {
    return "+" + std::string(StepText(positiveCode, Rail::Positive)) + " / " +
           std::string(StepText(negativeCode, Rail::Negative));
}

bool SameLimit(const overcurrent::RailLimit& a, const overcurrent::RailLimit& b) {
    return a.enabled == b.enabled && a.limitMa == b.limitMa;
}

bool SameSettings(const overcurrent::TripSettings& a, const overcurrent::TripSettings& b) {
    return SameLimit(a.positive, b.positive) && SameLimit(a.negative, b.negative) &&
           a.samples == b.samples && a.blanking == b.blanking;
}

std::string WhyEnded(ProgramEnd why, const std::string& who) {
    switch (why) {
    case ProgramEnd::Done:
        return "ended";
    case ProgramEnd::Stopped:
        return "stopped by " + who;
    case ProgramEnd::Tripped:
        return "stopped by the over-current trip";
    case ProgramEnd::SupplySilent:
        return "stopped: the supply did not answer its poll, so the protection could not see it";
    case ProgramEnd::SupplyLost:
        return "stopped by the lost supply";
    case ProgramEnd::StepNotTaken:
        return "stopped: the supply did not take its step";
    }
    return "ended";
}

} // namespace

SupplyScheduler::SupplyScheduler(asio::any_io_executor executor, scpi::Instrument& instrument,
                                 SupplyExecutor& worker, ServerLog& log)
    : m_executor(std::move(executor)), m_pollTimer(m_executor), m_programTimer(m_executor),
      m_instrument(instrument), m_worker(worker), m_log(log) {}

SupplyView SupplyScheduler::View() const {
    SupplyView view;
    view.outputOn = m_controller.OutputOn();
    // The settings, as VOLT? answers them: with the output off, a change stays a setting until
    // the next "on" sends it, and the supply's controller hears of it only then.
    const auto& settings = m_instrument.Settings();
    view.positiveCode = std::string(VoltageCodeAt(settings.positiveStep));
    view.negativeCode = std::string(VoltageCodeAt(settings.negativeStep));
    if (view.outputOn) {
        view.positiveMa = m_instrument.AverageMilliamps(Rail::Positive);
        view.negativeMa = m_instrument.AverageMilliamps(Rail::Negative);
    }
    view.supplyUp = !m_controller.SupplyLost();
    view.supplySilent = view.supplyUp && m_controller.SupplyAbsent();
    view.port = view.supplyUp ? m_instrument.PortText() : std::string();
    view.protection = m_instrument.Protection();
    view.trip = m_instrument.Trip();
    view.program = m_controller.Progress();
    view.at = Clock::now();
    view.trips = m_trips;
    view.model = m_instrument.Model();
    view.version = m_instrument.Version();
    return view;
}

void SupplyScheduler::SetChangeListener(std::function<void()> listener) {
    m_changed = listener;
    m_instrument.SetChangeListener(std::move(listener));
}

void SupplyScheduler::Start() {
    SchedulePoll();
}

void SupplyScheduler::Stop() {
    m_stopped = true;
    m_pollTimer.cancel();
    m_programTimer.cancel();
    m_sampleWaits.clear();
    m_programWaits.clear();
}

void SupplyScheduler::Carry(const Requester& who, const scpi::SupplyAction& action, Done done) {
    FollowProtection();
    const auto now = Clock::now();
    if (std::holds_alternative<scpi::SampleAction>(action)) {
        m_sampleWaits.push_back({who.id, std::move(done)});
        return;
    }
    if (const auto* run = std::get_if<scpi::RunProgramAction>(&action)) {
        std::vector<SequenceStep> steps;
        for (const auto& step : run->steps) {
            steps.push_back({step.dwell, std::string(VoltageCodeAt(step.positiveStep)),
                             std::string(VoltageCodeAt(step.negativeStep))});
        }
        const auto reaction = m_controller.StartProgram(std::move(steps), run->passes, true, now);
        if (reaction.refused != Refusal::None) {
            Later([done = std::move(done)] { done({Outcome::Refused, {}}); });
            return;
        }
        m_instrument.ProgramStarted();
        m_log.Event(
            "program of " + std::to_string(run->steps.size()) + " step(s) started, " +
            (run->passes ? std::to_string(*run->passes) + " time(s)" : std::string("without end")) +
            " (" + who.name + ")");
        // INITiate only starts it: its first step is carried out after the line has gone on.
        Later([done = std::move(done)] { done({}); });
        Later([this, reaction] {
            Handle(reaction, kProgram);
            ScheduleStep();
        });
        return;
    }
    if (std::holds_alternative<scpi::StopProgramAction>(action)) {
        Handle(m_controller.StopProgram(now), who.name, std::move(done));
        return;
    }
    if (std::holds_alternative<scpi::ProgramEndAction>(action)) {
        if (m_controller.ProgramRunning()) {
            m_programWaits.push_back({who.id, std::move(done)});
        } else {
            Later([done = std::move(done)] { done({}); });
        }
        return;
    }
    if (const auto* apply = std::get_if<scpi::ApplyAction>(&action)) {
        Apply(who, *apply, std::move(done));
        return;
    }
    const auto answered = [this, done = std::move(done)](const scpi::ActionResult& result) {
        if (result.outcome == Outcome::Done) {
            // Any reply ends a silence, not only a poll's.
            m_controller.Answered();
            m_instrument.SupplyAnswered();
        }
        done(result);
    };
    if (std::holds_alternative<scpi::MeasureAction>(action)) {
        m_worker.Measure(answered);
    } else {
        m_worker.Identify(answered);
    }
}

void SupplyScheduler::Apply(const Requester& who, const scpi::ApplyAction& apply, Done done) {
    const auto now = Clock::now();
    Reaction reaction;
    if (!apply.outputOn) {
        reaction = m_controller.SwitchOff(now);
    } else {
        const bool wasOn = m_controller.OutputOn();
        reaction = m_controller.SetVoltages(apply.positiveCode, apply.negativeCode, now);
        if (!wasOn && reaction.refused == Refusal::None) {
            reaction = m_controller.SwitchOn(now);
        }
    }
    if (reaction.refused != Refusal::None) {
        if (reaction.refused == Refusal::Tripped) {
            m_log.Event("output kept off after the over-current trip (" + who.name + ")");
        }
        Mirror();
        Later([done = std::move(done)] { done({Outcome::Refused, {}}); });
        return;
    }
    Handle(reaction, who.name, std::move(done));
}

void SupplyScheduler::Handle(const Reaction& reaction, const std::string& who, Done done) {
    const bool program = who == kProgram;
    if (program && reaction.stepBegan && !reaction.send.empty()) {
        if (const auto progress = m_controller.Progress()) {
            const auto& command = reaction.send.front();
            m_log.Event("program at step " + std::to_string(progress->step + 1) + " of " +
                        std::to_string(progress->steps) + ", pass " +
                        std::to_string(progress->pass + 1) + ": " +
                        StepsText(command.positiveCode, command.negativeCode));
        }
    }
    // The instrument shows what the supply is being given, as a session's own changes do; a
    // trip shows once its reset is through, so that a client that sees it sees the output off.
    if (!reaction.tripped) {
        Mirror();
    }
    const auto ended = reaction.programEnded;
    if (ended) {
        m_programTimer.cancel();
        m_log.Event("program " + WhyEnded(*ended, who));
    }
    const auto finish = [this, ended, done](const scpi::ActionResult& result) {
        if (ended) {
            ProgramOver();
        }
        if (done) {
            done(result);
        }
    };
    if (reaction.send.empty()) {
        Later([finish] { finish({}); });
        return;
    }
    for (std::size_t i = 0; i < reaction.send.size(); ++i) {
        const SupplyCommand& command = reaction.send[i];
        const bool last = i + 1 == reaction.send.size();
        if (reaction.tripped && i == 0) {
            // Nothing else goes first, not even what was queued before the poll came back.
            m_worker.SendFirst(command, [this, trip = *reaction.tripped, last,
                                         finish](const scpi::ActionResult& result) {
                Tripped(trip, result);
                if (last) {
                    finish(result);
                }
            });
            continue;
        }
        // A program's own commands are logged as its steps and its end.
        const bool logged = !program || command.kind == SupplyCommand::Kind::Reset;
        const std::string source = program ? "the program's end" : who;
        m_worker.Send(command, [this, command, source, logged, last,
                                finish](const scpi::ActionResult& result) {
            Sent(command, source, logged, result);
            if (last) {
                finish(result);
            }
        });
    }
}

void SupplyScheduler::Sent(const SupplyCommand& command, const std::string& who, bool logged,
                           const scpi::ActionResult& result) {
    if (result.outcome == Outcome::NoAnswer) {
        m_log.Problem("the supply did not take the command from " + who);
        if (m_controller.ProgramRunning()) {
            Handle(m_controller.NotTaken(Clock::now()), who);
        }
        return;
    }
    if (result.outcome != Outcome::Done || !logged) {
        return;
    }
    if (command.kind == SupplyCommand::Kind::Voltages) {
        m_log.Event("output on at " + StepsText(command.positiveCode, command.negativeCode) + " (" +
                    who + ")");
    } else {
        m_log.Event("output off (" + who + ")");
    }
}

void SupplyScheduler::Tripped(const overcurrent::TripRecord& trip,
                              const scpi::ActionResult& reset) {
    ++m_trips;
    m_instrument.Tripped(trip);
    Mirror();
    const std::string text = "over-current trip: " + overcurrent::DescribeTrip(trip);
    if (reset.outcome == Outcome::Done) {
        m_log.Event(text + "; the output was switched off and stays off until the trip is cleared");
        return;
    }
    m_instrument.ReportToAll(scpi::Error::HardwareMissing);
    m_log.Problem(text + "; THE OUTPUT COULD NOT BE SWITCHED OFF: the supply did not take the "
                         "reset command");
}

void SupplyScheduler::ProgramOver() {
    m_instrument.ProgramEnded();
    auto waits = std::move(m_programWaits);
    m_programWaits.clear();
    for (const auto& wait : waits) {
        wait.done({});
    }
}

void SupplyScheduler::SchedulePoll() {
    m_pollTimer.expires_after(pelmora::timing::kPollPeriod);
    m_pollTimer.async_wait([this](const std::error_code& error) {
        if (!error && !m_stopped) {
            Poll();
            SchedulePoll();
        }
    });
}

void SupplyScheduler::Poll() {
    if (m_pollPending) {
        return;
    }
    if (m_controller.SupplyLost()) {
        CompleteSampleWaits({Outcome::Gone, {}});
        return;
    }
    // A supply that fell silent is asked on, output on or off, until it answers again: the
    // silence must not outlast it and keep the output from going on.
    if (!m_controller.OutputOn() && !m_controller.SupplyAbsent()) {
        // No current flows, and no poll will come: the session answers from the settings.
        CompleteSampleWaits({});
        return;
    }
    m_pollPending = true;
    m_worker.Poll([this](const scpi::ActionResult& result) {
        m_pollPending = false;
        Sampled(result);
    });
}

void SupplyScheduler::Sampled(const scpi::ActionResult& result) {
    if (result.outcome == Outcome::Gone || m_stopped) {
        m_worker.Release();
        CompleteSampleWaits(result);
        return;
    }
    FollowProtection();
    std::optional<protocol::CurrentReading> reading;
    if (result.outcome == Outcome::Done) {
        reading = result.reading;
        m_instrument.PollSample(result.reading);
    } else {
        m_instrument.PollFailed();
    }
    const auto reaction =
        m_controller.Polled(reading, Clock::now(), std::chrono::system_clock::now());
    if (!reaction.tripped) {
        m_worker.Release();
    }
    Handle(reaction, kProgram);
    CompleteSampleWaits(result);
}

void SupplyScheduler::ScheduleStep() {
    const auto due = m_controller.NextDue();
    if (!due) {
        return;
    }
    m_programTimer.expires_at(*due);
    m_programTimer.async_wait([this](const std::error_code& error) {
        if (error || m_stopped || !m_controller.ProgramRunning()) {
            return;
        }
        FollowProtection();
        Handle(m_controller.Tick(Clock::now()), kProgram);
        ScheduleStep();
        // A step that sends nothing still moves the program on.
        if (m_changed) {
            m_changed();
        }
    });
}

void SupplyScheduler::FollowProtection() {
    // A session's change of voltages while the output is off reaches no supply and so no
    // controller: it is taken up here, or the next mirror of the controller would undo it.
    const auto& settings = m_instrument.Settings();
    if (!m_controller.OutputOn() && !settings.outputOn && !m_controller.ProgramRunning()) {
        m_controller.SetVoltages(VoltageCodeAt(settings.positiveStep),
                                 VoltageCodeAt(settings.negativeStep), Clock::now());
    }
    if (!SameSettings(m_instrument.Protection(), m_controller.Protection())) {
        m_controller.Configure(m_instrument.Protection());
    }
    // A clear meant for a trip the controller knows, not for one that came before it.
    if (m_instrument.TripClears() > m_tripClears && m_controller.Trip()) {
        m_controller.ClearTrip();
    }
    m_tripClears = m_instrument.TripClears();
}

void SupplyScheduler::Mirror() {
    scpi::SupplySettings settings = m_instrument.Settings();
    settings.outputOn = m_controller.OutputOn();
    // With the output off, the voltages are the sessions' choice for the next "on", which the
    // controller may not have heard of yet.
    if (m_controller.OutputOn() || m_controller.ProgramRunning()) {
        settings.positiveStep = VoltageIndexOf(m_controller.PositiveCode());
        settings.negativeStep = VoltageIndexOf(m_controller.NegativeCode());
    }
    if (settings != m_instrument.Settings()) {
        m_instrument.Dispatch(settings);
    }
}

void SupplyScheduler::CompleteSampleWaits(const scpi::ActionResult& result) {
    auto waits = std::move(m_sampleWaits);
    m_sampleWaits.clear();
    for (const auto& wait : waits) {
        wait.done(result);
    }
}

void SupplyScheduler::Forget(std::uint64_t id) {
    const auto theirs = [id](const Wait& wait) { return wait.id == id; };
    std::erase_if(m_sampleWaits, theirs);
    std::erase_if(m_programWaits, theirs);
}

void SupplyScheduler::SwitchOffUnwatched(const std::string& cause) {
    // A program left running would switch the output on again at its next step, with nobody
    // there to see it.
    const auto now = Clock::now();
    if (m_controller.ProgramRunning()) {
        Handle(m_controller.StopProgram(now), cause);
    } else if (m_controller.OutputOn()) {
        Handle(m_controller.SwitchOff(now), cause);
    }
}

void SupplyScheduler::SupplyLost() {
    if (m_controller.SupplyLost()) {
        return;
    }
    const auto reaction = m_controller.Lost(Clock::now());
    m_instrument.SupplyLost();
    m_log.Problem("supply lost; the output is off, and the supply is looked for again");
    Handle(reaction, kProgram);
    CompleteSampleWaits({Outcome::Gone, {}});
}

void SupplyScheduler::SupplyFound(const std::string& port) {
    m_controller.Found();
    m_instrument.SetPortText(port);
    m_instrument.SupplyFound();
    m_log.Event("supply found again on " + port +
                "; the output is off until a client switches it on");
}

void SupplyScheduler::Later(std::function<void()> task) {
    asio::post(m_executor, std::move(task));
}

} // namespace pelmora::server
