#pragma once

#include "link/serial_channel.h"
#include "link/supply_line.h"
#include "rules/supply_controller.h"
#include "scpi/supply_action.h"
#include "server/return_watch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pelmora::server {

// The one thread that talks to the supply: exchanges run in the order they were queued, each
// result handed back through `deliver`, so that the thread that queued them never waits on the
// supply. It decides nothing: the controller on the server's loop says what to send. A port
// that is gone is closed; while it is, exchanges fail as Gone at once and the supply is looked
// for again.
class SupplyWorker {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;
    // Runs a function on the thread that queued the exchanges.
    using Deliver = std::function<void(std::function<void()>)>;

    // Told through `deliver`, each before the result that found it out.
    struct Events {
        std::function<void()> lost;
        // With how messages call the port it is on now.
        std::function<void(const std::string&)> found;
    };

    // The channel is open on the supply, its last words set, and `line` talks over it; the
    // watch follows it. A supply found again gets a line of its own, traced on `trace`.
    SupplyWorker(CSerialChannel& channel, SupplyLine line, ByteTrace& trace, ReturnWatch& watch,
                 Deliver deliver, Events events);
    ~SupplyWorker();
    SupplyWorker(const SupplyWorker&) = delete;
    SupplyWorker& operator=(const SupplyWorker&) = delete;

    // A command, with the pause the protocol gives it.
    void Send(const SupplyCommand& command, Done done);
    // The same, ahead of everything queued: a trip's reset.
    void SendFirst(const SupplyCommand& command, Done done);
    // One current request; its reading comes in the result.
    void Measure(Done done);
    // A poll of the currents for the protection: nothing else reaches the supply after it
    // until Release() or SendFirst(), so that a trip's reset follows its poll directly.
    void Poll(Done done);
    void Release();
    // One identity request.
    void Identify(Done done);
    // Runs what is queued, then sends the reset command as the last bytes and closes the port.
    // True when the supply took it.
    bool Finish();

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
