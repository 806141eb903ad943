#include "scpi_server.h"

#include "supply_timing.h"
#include "voltage_argument.h"
#include "voltage_table.h"

#include <algorithm>
#include <asio/post.hpp>

namespace pelmora::cli {

namespace {

using Outcome = scpi::ActionResult::Outcome;

// A failed accept (no descriptors left, say) is tried again after a pause, not in a loop.
constexpr std::chrono::milliseconds kAcceptRetry{100};

} // namespace

ScpiServer::ScpiServer(asio::ip::tcp::acceptor& acceptor, scpi::Instrument& instrument,
                       SupplyWorker& worker, ServeLog& log, ServeRules rules)
    : m_acceptor(acceptor), m_pollTimer(acceptor.get_executor()),
      m_acceptRetry(acceptor.get_executor()), m_instrument(instrument), m_worker(worker),
      m_log(log), m_rules(std::move(rules)), m_programTimer(acceptor.get_executor()) {}

void ScpiServer::Start() {
    Accept();
    SchedulePoll();
}

void ScpiServer::Stop() {
    m_stopped = true;
    std::error_code ignored;
    m_acceptor.close(ignored);
    m_pollTimer.cancel();
    m_acceptRetry.cancel();
    m_programTimer.cancel();
    const auto clients = m_clients;
    for (const auto& client : clients) {
        client->Close();
    }
}

void ScpiServer::Accept() {
    m_acceptor.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
        if (m_stopped) {
            return;
        }
        if (error) {
            m_log.Problem("cannot accept a client: " + error.message());
            m_acceptRetry.expires_after(kAcceptRetry);
            m_acceptRetry.async_wait([this](const std::error_code& waited) {
                if (!waited && !m_stopped) {
                    Accept();
                }
            });
            return;
        }
        Admit(std::move(socket));
        Accept();
    });
}

void ScpiServer::Admit(asio::ip::tcp::socket socket) {
    std::error_code error;
    const auto remote = socket.remote_endpoint(error);
    if (error) {
        // Gone before it could be looked at.
        return;
    }
    const IpAddress address = FromAsio(remote.address());
    const std::string peer = FormatEndpoint(address, remote.port());
    std::string refusal;
    if (!m_rules.allowed.empty() && !InAnyRange(address, m_rules.allowed)) {
        refusal = "not in the allowed addresses (--allow)";
    } else if (m_clients.size() >= kMaxClients) {
        refusal = std::to_string(kMaxClients) + " clients are connected already";
    }
    if (!refusal.empty()) {
        m_log.Event(peer + " refused: " + refusal);
        socket.close(error);
        return;
    }
    auto client =
        std::make_shared<ServeConnection>(std::move(socket), peer, m_instrument, *this, m_log);
    m_clients.insert(client);
    m_log.Event(peer + " connected (" + std::to_string(m_clients.size()) + " of " +
                std::to_string(kMaxClients) + ")");
    client->Start();
}

void ScpiServer::Closed(ServeConnection& connection) {
    const auto found = std::find_if(m_clients.begin(), m_clients.end(), [&](const auto& client) {
        return client.get() == &connection;
    });
    if (found == m_clients.end()) {
        return;
    }
    m_clients.erase(found);
    // Its waits would keep the connection alive for as long as the program runs, maybe forever.
    std::erase_if(m_programWaits,
                  [&](const ProgramWait& wait) { return wait.connection == &connection; });
    if (m_stopped || !m_rules.offOnDisconnect || !m_clients.empty()) {
        return;
    }
    // A program left running would switch the output on again at its next step, with nobody
    // there to see it.
    EndProgram("stopped by the last client leaving", {}, "the last client leaving");
}

void ScpiServer::Carry(ServeConnection& connection, const scpi::SupplyAction& action, Done done) {
    if (std::holds_alternative<scpi::SampleAction>(action)) {
        m_sampleWaits.push_back(std::move(done));
        return;
    }
    if (const auto* run = std::get_if<scpi::RunProgramAction>(&action)) {
        StartProgram(connection.Peer(), *run);
        Later([done = std::move(done)] { done({}); });
        return;
    }
    if (std::holds_alternative<scpi::StopProgramAction>(action)) {
        EndProgram("aborted by " + connection.Peer(), [done = std::move(done)] { done({}); });
        return;
    }
    if (std::holds_alternative<scpi::ProgramEndAction>(action)) {
        if (m_program) {
            m_programWaits.push_back({&connection, std::move(done)});
        } else {
            Later([done = std::move(done)] { done({}); });
        }
        return;
    }
    const auto* apply = std::get_if<scpi::ApplyAction>(&action);
    if (!apply) {
        m_worker.Carry(action, Guard(), std::move(done));
        return;
    }
    m_worker.Carry(action, Guard(),
                   [this, who = connection.Peer(), applied = *apply,
                    done = std::move(done)](const scpi::ActionResult& result) {
                       Applied(who, applied, result);
                       done(result);
                   });
}

void ScpiServer::Applied(const std::string& who, const scpi::ApplyAction& apply,
                         const scpi::ActionResult& result) {
    if (result.outcome == Outcome::NoAnswer) {
        m_log.Problem("the supply did not take the command from " + who);
        return;
    }
    if (result.outcome == Outcome::Refused) {
        m_log.Event("output kept off after the over-current trip (" + who + ")");
        return;
    }
    if (result.outcome != Outcome::Done) {
        return;
    }
    if (apply.outputOn) {
        m_log.Event("output on at +" + std::string(StepText(apply.positiveCode, Rail::Positive)) +
                    " / " + std::string(StepText(apply.negativeCode, Rail::Negative)) + " (" + who +
                    ")");
    } else {
        m_log.Event("output off (" + who + ")");
    }
}

void ScpiServer::SchedulePoll() {
    m_pollTimer.expires_after(timing::kPollPeriod);
    m_pollTimer.async_wait([this](const std::error_code& error) {
        if (!error && !m_stopped) {
            Poll();
            SchedulePoll();
        }
    });
}

void ScpiServer::Poll() {
    if (m_pollPending) {
        return;
    }
    if (m_lost) {
        CompleteSampleWaits({Outcome::Gone, {}});
        return;
    }
    if (!m_instrument.Settings().outputOn) {
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

void ScpiServer::Sampled(const scpi::ActionResult& result) {
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

void ScpiServer::Tripped(const SupplyWorker::Polled& polled) {
    m_instrument.Tripped(*polled.trip);
    if (m_program) {
        EndProgram("stopped by the over-current trip");
    }
    const std::string trip = "over-current trip: " + overcurrent::DescribeTrip(*polled.trip);
    if (polled.switchedOff) {
        m_log.Event(trip + "; the output was switched off and stays off until the trip is cleared");
        return;
    }
    m_instrument.Report(scpi::Error::HardwareMissing);
    m_log.Problem(trip + "; THE OUTPUT COULD NOT BE SWITCHED OFF: the supply did not take the "
                         "reset command");
}

SupplyWorker::Guard ScpiServer::Guard() const {
    return {m_instrument.Protection(), m_instrument.TripClears()};
}

void ScpiServer::CompleteSampleWaits(const scpi::ActionResult& result) {
    auto waits = std::move(m_sampleWaits);
    m_sampleWaits.clear();
    for (const auto& done : waits) {
        done(result);
    }
}

void ScpiServer::SupplyLost() {
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

void ScpiServer::SupplyFound(const std::string& port) {
    m_lost = false;
    m_instrument.SetPortText(port);
    m_instrument.SupplyFound();
    m_log.Event("supply found again on " + port +
                "; the output is off until a client switches it on");
}

void ScpiServer::Later(std::function<void()> task) {
    asio::post(m_acceptor.get_executor(), std::move(task));
}

void ScpiServer::StartProgram(const std::string& who, const scpi::RunProgramAction& run) {
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

void ScpiServer::ScheduleStep() {
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

void ScpiServer::RunStep(const SequenceSchedule::Slot& slot) {
    const auto& step = m_program->steps[slot.step];
    m_instrument.Dispatch({true, step.positiveStep, step.negativeStep});
    const scpi::ApplyAction apply{true, VoltageCodeAt(step.positiveStep),
                                  VoltageCodeAt(step.negativeStep)};
    const std::string where = "step " + std::to_string(slot.step + 1) + " of " +
                              std::to_string(m_program->steps.size()) + ", pass " +
                              std::to_string(slot.pass + 1);
    m_worker.Carry(apply, Guard(), [this, apply, where](const scpi::ActionResult& result) {
        Applied("the program, " + where, apply, result);
        if (result.outcome != Outcome::Done && m_program) {
            EndProgram("stopped at " + where);
        }
    });
    ++m_program->next;
    ScheduleStep();
}

void ScpiServer::EndProgram(const std::string& why, std::function<void()> done,
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
        Applied(offCause, off, result);
        finish();
    });
}

} // namespace pelmora::cli
