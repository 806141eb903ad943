#pragma once

#include "server/supply_executor.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pelmora::server {

// The executor on a thread of its own, for a platform whose serial port the loop cannot wait
// on: exchanges run there one after another with the blocking calls of the device link, and
// each result comes back to the loop through `deliver`.
class SupplyWorker final : public SupplyExecutor {
public:
    // Runs a function on the loop.
    using Deliver = std::function<void(std::function<void()>)>;

    SupplyWorker(CSerialChannel& channel, SupplyLine line, ByteTrace& trace, ReturnWatch& watch,
                 Deliver deliver, Events events);
    ~SupplyWorker() override;
    SupplyWorker(const SupplyWorker&) = delete;
    SupplyWorker& operator=(const SupplyWorker&) = delete;

    void Send(const SupplyCommand& command, Done done) override;
    void SendFirst(const SupplyCommand& command, Done done) override;
    void Measure(Done done) override;
    void Poll(Done done) override;
    void Release() override;
    void Identify(Done done) override;
    bool Finish() override;

private:
    using Task = std::function<scpi::ActionResult()>;

    enum class Place { Last, First, LastAndHold };
    void Queue(Task task, Done done, Place place);
    void Serve();
    void LookAgain();
    void Lose();
    scpi::ActionResult Run(const scpi::SupplyAction& action);

    CSerialChannel& m_channel;
    ByteTrace& m_trace;
    // Only the worker's thread touches it while that runs.
    std::optional<SupplyLine> m_line;
    ReturnWatch& m_watch;
    Deliver m_deliver;
    Events m_events;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_finishing = false;
    // A poll's result is on its way to the loop, which may want the line next.
    bool m_held = false;
    // Only the worker's thread touches these.
    bool m_present = true;
    // While the supply is gone, when it is looked for next.
    std::chrono::steady_clock::time_point m_nextLook;

    std::thread m_thread;
};

} // namespace pelmora::server
