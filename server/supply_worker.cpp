#include "server/supply_worker.h"

#include "link/port_probe.h"
#include "link/supply_error.h"
#include "link/supply_protocol.h"
#include "link/supply_requests.h"
#include "server/server_timing.h"
#include "server/supply_exchange.h"

namespace pelmora::server {

SupplyWorker::SupplyWorker(CSerialChannel& channel, SupplyLine line, ByteTrace& trace,
                           ReturnWatch& watch, Deliver deliver, Events events)
    : m_channel(channel), m_trace(trace), m_line(std::move(line)), m_watch(watch),
      m_deliver(std::move(deliver)), m_events(std::move(events)), m_thread([this] { Serve(); }) {}

SupplyWorker::~SupplyWorker() {
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

namespace {

using Outcome = scpi::ActionResult::Outcome;

scpi::SupplyAction ActionOf(const SupplyCommand& command) {
    if (command.kind == SupplyCommand::Kind::Reset) {
        return scpi::ApplyAction{false, {}, {}};
    }
    return scpi::ApplyAction{true, command.positiveCode, command.negativeCode};
}

} // namespace

void SupplyWorker::Send(const SupplyCommand& command, Done done) {
    Queue([this, command] { return Run(ActionOf(command)); }, std::move(done), Place::Last);
}

void SupplyWorker::SendFirst(const SupplyCommand& command, Done done) {
    Queue([this, command] { return Run(ActionOf(command)); }, std::move(done), Place::First);
}

void SupplyWorker::Measure(Done done) {
    Queue([this] { return Run(scpi::MeasureAction{}); }, std::move(done), Place::Last);
}

void SupplyWorker::Poll(Done done) {
    Queue([this] { return Run(scpi::MeasureAction{}); }, std::move(done), Place::LastAndHold);
}

void SupplyWorker::Identify(Done done) {
    Queue([this] { return Run(scpi::IdentifyAction{}); }, std::move(done), Place::Last);
}

void SupplyWorker::Release() {
    {
        const std::lock_guard lock(m_mutex);
        m_held = false;
    }
    m_wake.notify_one();
}

void SupplyWorker::Queue(Task task, Done done, Place place) {
    const bool holds = place == Place::LastAndHold;
    auto job = [this, holds, task = std::move(task), done = std::move(done)] {
        const scpi::ActionResult result = task();
        if (holds) {
            const std::lock_guard lock(m_mutex);
            m_held = true;
        }
        m_deliver([done, result] { done(result); });
    };
    {
        const std::lock_guard lock(m_mutex);
        if (place == Place::First) {
            m_queue.push_front(std::move(job));
            m_held = false;
        } else {
            m_queue.push_back(std::move(job));
        }
    }
    m_wake.notify_one();
}

scpi::ActionResult SupplyWorker::Run(const scpi::SupplyAction& action) {
    if (!m_present) {
        return {Outcome::Gone, {}};
    }
    const scpi::ActionResult result = CarryOut(*m_line, m_channel, action);
    if (result.outcome == Outcome::Gone) {
        Lose();
    }
    return result;
}

bool SupplyWorker::Finish() {
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    m_thread.join();
    return m_present && ResetAndClose(m_channel, *m_line);
}

void SupplyWorker::Serve() {
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return m_finishing || (!m_queue.empty() && !m_held); };
    while (true) {
        if (m_present) {
            m_wake.wait(lock, ready);
        } else {
            m_wake.wait_until(lock, m_nextLook, ready);
        }
        // Due even with tasks queued: a client asking faster than the period, each answer
        // failing at once, must not keep the supply from being found.
        if (!m_present && !m_finishing && std::chrono::steady_clock::now() >= m_nextLook) {
            lock.unlock();
            LookAgain();
            m_nextLook = std::chrono::steady_clock::now() + timing::kLookAgainPeriod;
            lock.lock();
            continue;
        }
        if (m_held && !m_finishing) {
            continue;
        }
        // Only the end wakes it with nothing queued.
        if (m_queue.empty()) {
            return;
        }
        auto task = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

void SupplyWorker::Lose() {
    m_present = false;
    // Closed at once, so that the system can give the returning device its old name.
    m_channel.Close();
    m_watch.Start();
    m_nextLook = std::chrono::steady_clock::now() + timing::kLookAgainPeriod;
    m_deliver(m_events.lost);
}

void SupplyWorker::LookAgain() {
    if (m_present) {
        return;
    }
    const auto found = m_watch.Look(m_channel);
    if (!found) {
        return;
    }
    const std::string label = PortLabel(*found);
    m_line.emplace(m_channel, label, m_line->WaitMs(), m_trace);
    // Whatever the supply kept from before is switched off before anyone is told it is back.
    m_channel.SetLastWords(protocol::kResetCommand);
    try {
        SendReset(*m_line);
    } catch (const SupplyError&) {
        m_channel.Close();
        return;
    }
    m_present = true;
    m_deliver([found = m_events.found, label] { found(label); });
}

} // namespace pelmora::server
