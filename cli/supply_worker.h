#pragma once

#include "serial_channel.h"
#include "serve_watch.h"
#include "supply_action.h"
#include "supply_line.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pelmora::cli {

// The one thread that talks to the supply: actions run in the order they were queued, each
// result handed back through `deliver`, so that the thread that queued them never waits on the
// supply. A port that is gone is closed; while it is, actions fail as Gone at once and the
// supply is looked for again.
class SupplyWorker {
public:
    // Runs a function on the thread that queued the actions.
    using Deliver = std::function<void(std::function<void()>)>;
    using Done = std::function<void(const scpi::ActionResult&)>;

    // Told through `deliver`, each before the result that found it out.
    struct Events {
        std::function<void()> lost;
        // With how messages call the port it is on now.
        std::function<void(const std::string&)> found;
    };

    // The channel is open on the supply, its last words set; the watch follows it.
    SupplyWorker(CSerialChannel& channel, SupplyLine& line, ServeWatch& watch, Deliver deliver,
                 Events events);
    ~SupplyWorker();
    SupplyWorker(const SupplyWorker&) = delete;
    SupplyWorker& operator=(const SupplyWorker&) = delete;

    void Carry(const scpi::SupplyAction& action, Done done);
    // Runs what is queued, then sends the reset command as the last bytes and closes the port.
    // True when the supply took it.
    bool Finish();

private:
    void Serve();
    void LookAgain();
    void Lose();

    CSerialChannel& m_channel;
    SupplyLine& m_line;
    ServeWatch& m_watch;
    Deliver m_deliver;
    Events m_events;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_queue;
    bool m_finishing = false;
    // Only the worker's thread touches it while that runs.
    bool m_present = true;

    std::thread m_thread;
};

} // namespace pelmora::cli
