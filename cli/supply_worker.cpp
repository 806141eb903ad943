#include "supply_worker.h"

#include "cli_error.h"
#include "cli_timing.h"
#include "port_probe.h"
#include "serve_exchange.h"
#include "supply_commands.h"
#include "supply_protocol.h"

namespace pelmora::cli {

SupplyWorker::SupplyWorker(CSerialChannel& channel, SupplyLine& line, ServeWatch& watch,
                           Deliver deliver, Events events)
    : m_channel(channel), m_line(line), m_watch(watch), m_deliver(std::move(deliver)),
      m_events(std::move(events)), m_thread([this] { Serve(); }) {}

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

void SupplyWorker::Carry(const scpi::SupplyAction& action, Done done) {
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back([this, action, done = std::move(done)] {
            scpi::ActionResult result;
            result.outcome = scpi::ActionResult::Outcome::Gone;
            if (m_present) {
                result = CarryOut(m_line, m_channel, action);
                if (result.outcome == scpi::ActionResult::Outcome::Gone) {
                    Lose();
                }
            }
            m_deliver([done, result] { done(result); });
        });
    }
    m_wake.notify_one();
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
        SendReset(m_line);
    } catch (const CliError&) {
        m_channel.Close();
        return false;
    }
    m_channel.Close();
    return true;
}

void SupplyWorker::Serve() {
    std::unique_lock lock(m_mutex);
    while (true) {
        const auto ready = [this] { return m_finishing || !m_queue.empty(); };
        if (m_present) {
            m_wake.wait(lock, ready);
        } else {
            m_wake.wait_for(lock, timing::kLookAgainPeriod, ready);
        }
        if (m_queue.empty()) {
            if (m_finishing) {
                return;
            }
            lock.unlock();
            LookAgain();
            lock.lock();
            continue;
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
    // Whatever the supply kept from before is switched off before anyone is told it is back.
    m_channel.SetLastWords(protocol::kResetCommand);
    try {
        SendReset(m_line);
    } catch (const CliError&) {
        m_channel.Close();
        return;
    }
    m_present = true;
    m_deliver([found = m_events.found, label = PortLabel(*found)] { found(label); });
}

} // namespace pelmora::cli
