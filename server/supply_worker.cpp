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

bool SameLimit(const overcurrent::RailLimit& a, const overcurrent::RailLimit& b) {
    return a.enabled == b.enabled && a.limitMa == b.limitMa;
}

bool SameSettings(const overcurrent::TripSettings& a, const overcurrent::TripSettings& b) {
    return SameLimit(a.positive, b.positive) && SameLimit(a.negative, b.negative) &&
           a.samples == b.samples && a.blanking == b.blanking;
}

} // namespace

void SupplyWorker::Carry(const scpi::SupplyAction& action, const Guard& guard, Done done) {
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back([this, action, guard, done = std::move(done)] {
            Follow(guard);
            const scpi::ActionResult result = Run(action);
            m_deliver([done, result] { done(result); });
        });
    }
    m_wake.notify_one();
}

void SupplyWorker::Poll(const Guard& guard, PollDone done) {
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back([this, guard, done = std::move(done)] {
            Follow(guard);
            const Polled polled = RunPoll();
            m_deliver([done, polled] { done(polled); });
        });
    }
    m_wake.notify_one();
}

void SupplyWorker::Follow(const Guard& guard) {
    if (!SameSettings(guard.settings, m_engine.Settings())) {
        m_engine.Configure(guard.settings);
    }
    if (m_engine.Tripped() && guard.tripClears > m_tripClears) {
        m_engine.Clear();
    }
    m_tripClears = guard.tripClears;
}

scpi::ActionResult SupplyWorker::Run(const scpi::SupplyAction& action) {
    if (!m_present) {
        return {Outcome::Gone, {}};
    }
    if (const auto* apply = std::get_if<scpi::ApplyAction>(&action)) {
        const auto now = std::chrono::steady_clock::now();
        // A program's step may send the voltages the supply already has: no inrush then.
        const std::string codes =
            std::string(apply->positiveCode) + std::string(apply->negativeCode);
        if (!apply->outputOn) {
            m_engine.OutputOff();
        } else if (m_outputOn) {
            if (codes != m_codes) {
                m_engine.VoltageChanged(now);
            }
        } else if (!m_engine.OutputOn(now)) {
            return {Outcome::Refused, {}};
        }
        m_outputOn = apply->outputOn;
        m_codes = codes;
    }
    const scpi::ActionResult result = CarryOut(*m_line, m_channel, action);
    if (result.outcome == Outcome::Gone) {
        Lose();
    }
    return result;
}

SupplyWorker::Polled SupplyWorker::RunPoll() {
    Polled polled;
    polled.result = Run(scpi::MeasureAction{});
    if (!m_present) {
        return polled;
    }
    overcurrent::PollSample sample;
    if (polled.result.outcome == Outcome::Done) {
        sample.reading = polled.result.reading;
    }
    sample.at = std::chrono::steady_clock::now();
    sample.wallClock = std::chrono::system_clock::now();
    polled.trip = m_engine.Sample(sample);
    if (polled.trip) {
        polled.switchedOff = Run(scpi::ApplyAction{false, {}, {}}).outcome == Outcome::Done;
    }
    return polled;
}

bool SupplyWorker::Finish() {
    {
        const std::lock_guard lock(m_mutex);
        m_finishing = true;
    }
    m_wake.notify_one();
    m_thread.join();
    if (!m_present) {
        return false;
    }
    try {
        SendReset(*m_line);
    } catch (const SupplyError&) {
        m_channel.Close();
        return false;
    }
    m_channel.Close();
    return true;
}

void SupplyWorker::Serve() {
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return m_finishing || !m_queue.empty(); };
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
    m_engine.OutputOff();
    m_outputOn = false;
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
