#include "server/supply_scheduler.h"

#include "link/supply_timing.h"
#include "link/typed_voltage.h"
#include "link/voltage_table.h"

#include <algorithm>
#include <asio/post.hpp>

namespace pelmora::server {

namespace {

using Outcome = scpi::ActionResult::Outcome;

std::string StepsText(std::string_view positiveCode, std::string_view negativeCode) {
    return "+" + std::string(StepText(positiveCode, Rail::Positive)) + " / " +
           std::string(StepText(negativeCode, Rail::Negative));
}

} // namespace

SupplyScheduler::SupplyScheduler(asio::any_io_executor executor, scpi::Instrument& instrument,
                                 SupplyWorker& worker, ServerLog& log)
    : m_executor(std::move(executor)), m_pollTimer(m_executor), m_programTimer(m_executor),
      m_instrument(instrument), m_worker(worker), m_log(log) {}

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
    if (std::holds_alternative<scpi::SampleAction>(action)) {
        m_sampleWaits.push_back({who.id, std::move(done)});
        return;
    }
    if (const auto* run = std::get_if<scpi::RunProgramAction>(&action)) {
        StartProgram(who.name, *run);
        Later([done = std::move(done)] { done({}); });
        return;
    }
    if (std::holds_alternative<scpi::StopProgramAction>(action)) {
        EndProgram("stopped by " + who.name, [done = std::move(done)] { done({}); });
        return;
    }
    if (std::holds_alternative<scpi::ProgramEndAction>(action)) {
        if (m_program) {
            m_programWaits.push_back({who.id, std::move(done)});
        } else {
            Later([done = std::move(done)] { done({}); });
        }
        return;
    }
    if (const auto* apply = std::get_if<scpi::ApplyAction>(&action)) {
        m_worker.Carry(action, Guard(),
                       [this, name = who.name, applied = *apply,
                        done = std::move(done)](const scpi::ActionResult& result) {
                           Applied(name, applied, result, true);
                           done(result);
                       });
        return;
    }
    m_worker.Carry(action, Guard(),
                   [this, done = std::move(done)](const scpi::ActionResult& result) {
                       Answered(result);
                       done(result);
                   });
}

void SupplyScheduler::Forget(std::uint64_t id) {
    const auto theirs = [id](const Wait& wait) { return wait.id == id; };
    std::erase_if(m_sampleWaits, theirs);
    std::erase_if(m_programWaits, theirs);
}

void SupplyScheduler::SwitchOffUnwatched(const std::string& cause) {
    // A program left running would switch the output on again at its next step, with nobody
    // there to see it.
    EndProgram("stopped by " + cause, {}, cause);
}

void SupplyScheduler::Answered(const scpi::ActionResult& result) {
    if (result.outcome != Outcome::Done) {
        return;
    }
    m_instrument.SupplyAnswered();
}

void SupplyScheduler::Applied(const std::string& who, const scpi::ApplyAction& apply,
                              const scpi::ActionResult& result, bool logged) {
    if (result.outcome == Outcome::NoAnswer) {
        m_log.Problem("the supply did not take the command from " + who);
        return;
    }
    if (result.outcome == Outcome::Refused) {
        m_log.Event("output kept off after the over-current trip (" + who + ")");
        return;
    }
    if (result.outcome != Outcome::Done || !logged) {
        return;
    }
    if (apply.outputOn) {
        m_log.Event("output on at " + StepsText(apply.positiveCode, apply.negativeCode) + " (" +
                    who + ")");
    } else {
        m_log.Event("output off (" + who + ")");
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
    if (m_lost) {
        CompleteSampleWaits({Outcome::Gone, {}});
        return;
    }
    // A supply that fell silent is asked on, output on or off, until it answers again: the
    // silence must not outlast it and keep the output from going on.
    if (!m_instrument.Settings().outputOn && !m_instrument.SupplyAbsent()) {
        // No current flows, and no poll will come: the session answers from the settings.
        CompleteSampleWaits({});
        return;
    }
    m_pollPending = true;
    m_worker.Poll(Guard(), [this](const SupplyWorker::Polled& polled) {
        m_pollPending = false;
        Sampled(polled.result);
        if (polled.trip) {
            Tripped(polled);
        }
    });
}

void SupplyScheduler::Sampled(const scpi::ActionResult& result) {
    switch (result.outcome) {
    case Outcome::Done:
        m_instrument.PollSample(result.reading);
        break;
    case Outcome::NoAnswer:
        m_instrument.PollFailed();
        break;
    case Outcome::Gone:
    case Outcome::Refused:
        break;
    }
    CompleteSampleWaits(result);
}

void SupplyScheduler::Tripped(const SupplyWorker::Polled& polled) {
    m_instrument.Tripped(*polled.trip);
    if (m_program) {
        EndProgram("stopped by the over-current trip");
    }
    const std::string trip = "over-current trip: " + overcurrent::DescribeTrip(*polled.trip);
    if (polled.switchedOff) {
        m_log.Event(trip + "; the output was switched off and stays off until the trip is cleared");
        return;
    }
    m_instrument.ReportToAll(scpi::Error::HardwareMissing);
    m_log.Problem(trip + "; THE OUTPUT COULD NOT BE SWITCHED OFF: the supply did not take the "
                         "reset command");
}

SupplyWorker::Guard SupplyScheduler::Guard() const {
    return {m_instrument.Protection(), m_instrument.TripClears()};
}

void SupplyScheduler::CompleteSampleWaits(const scpi::ActionResult& result) {
    auto waits = std::move(m_sampleWaits);
    m_sampleWaits.clear();
    for (const auto& wait : waits) {
        wait.done(result);
    }
}

void SupplyScheduler::SupplyLost() {
    if (m_lost) {
        return;
    }
    m_lost = true;
    m_instrument.SupplyLost();
    m_log.Problem("supply lost; the output is off, and the supply is looked for again");
    if (m_program) {
        EndProgram("stopped by the lost supply");
    }
    CompleteSampleWaits({Outcome::Gone, {}});
}

void SupplyScheduler::SupplyFound(const std::string& port) {
    m_lost = false;
    m_instrument.SetPortText(port);
    m_instrument.SupplyFound();
    m_log.Event("supply found again on " + port +
                "; the output is off until a client switches it on");
}

void SupplyScheduler::Later(std::function<void()> task) {
    asio::post(m_executor, std::move(task));
}

void SupplyScheduler::StartProgram(const std::string& who, const scpi::RunProgramAction& run) {
    std::vector<SequenceStep> steps;
    for (const auto& step : run.steps) {
        steps.push_back({step.dwell, std::string(VoltageCodeAt(step.positiveStep)),
                         std::string(VoltageCodeAt(step.negativeStep))});
    }
    m_program.emplace(
        Program{run.steps, SequenceSchedule(steps, SequenceSchedule::Clock::now(), run.passes), 0});
    m_instrument.ProgramStarted();
    const std::string passes =
        run.passes ? std::to_string(*run.passes) + " time(s)" : "without end";
    m_log.Event("program of " + std::to_string(run.steps.size()) + " step(s) started, " + passes +
                " (" + who + ")");
    ScheduleStep();
}

void SupplyScheduler::ScheduleStep() {
    const auto slots = m_program->schedule.SlotCount();
    if (slots && m_program->next >= *slots) {
        m_programTimer.expires_at(*m_program->schedule.End());
        m_programTimer.async_wait([this](const std::error_code& error) {
            if (!error && !m_stopped && m_program) {
                EndProgram("ended");
            }
        });
        return;
    }
    const auto slot = m_program->schedule.SlotAt(m_program->next);
    m_programTimer.expires_at(slot.start);
    m_programTimer.async_wait([this, slot](const std::error_code& error) {
        if (!error && !m_stopped && m_program) {
            RunStep(slot);
        }
    });
}

void SupplyScheduler::RunStep(const SequenceSchedule::Slot& slot) {
    const auto& step = m_program->steps[slot.step];
    ++m_program->next;
    const scpi::SupplySettings settings{true, step.positiveStep, step.negativeStep};
    // A step that keeps what the supply has sends nothing: an endless program of one step
    // is one command, not one a pass.
    if (settings == m_instrument.Settings()) {
        ScheduleStep();
        return;
    }
    m_instrument.Dispatch(settings);
    const scpi::ApplyAction apply{true, VoltageCodeAt(step.positiveStep),
                                  VoltageCodeAt(step.negativeStep)};
    const std::string where = "step " + std::to_string(slot.step + 1) + " of " +
                              std::to_string(m_program->steps.size()) + ", pass " +
                              std::to_string(slot.pass + 1);
    m_log.Event("program at " + where + ": " + StepsText(apply.positiveCode, apply.negativeCode));
    m_worker.Carry(apply, Guard(), [this, apply, where](const scpi::ActionResult& result) {
        Applied("the program, " + where, apply, result, false);
        if (result.outcome != Outcome::Done && m_program) {
            EndProgram("stopped at " + where);
        }
    });
    ScheduleStep();
}

void SupplyScheduler::EndProgram(const std::string& why, std::function<void()> done,
                                 const std::string& offCause) {
    const bool running = m_program.has_value();
    m_program.reset();
    m_programTimer.cancel();
    const auto finish = [this, done = std::move(done)] {
        m_instrument.ProgramEnded();
        auto waits = std::move(m_programWaits);
        m_programWaits.clear();
        for (const auto& wait : waits) {
            wait.done({});
        }
        if (done) {
            done();
        }
    };
    if (running) {
        m_log.Event("program " + why);
    }
    const scpi::SupplySettings settings = m_instrument.Settings();
    if (!settings.outputOn) {
        Later(finish);
        return;
    }
    m_instrument.Dispatch({false, settings.positiveStep, settings.negativeStep});
    const scpi::ApplyAction off{false, {}, {}};
    m_worker.Carry(off, Guard(), [this, off, finish, offCause](const scpi::ActionResult& result) {
        Applied(offCause, off, result, true);
        finish();
    });
}

} // namespace pelmora::server
