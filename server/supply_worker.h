#pragma once

#include "link/serial_channel.h"
#include "link/supply_line.h"
#include "rules/overcurrent_trip.h"
#include "scpi/supply_action.h"
#include "server/return_watch.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pelmora::server {

// The one thread that talks to the supply: actions run in the order they were queued, each
// result handed back through `deliver`, so that the thread that queued them never waits on the
// supply. A port that is gone is closed; while it is, actions fail as Gone at once and the
// supply is looked for again. The over-current protection runs here too, so that a poll that
// finds too much current is followed by the reset command before anything else reaches the
// supply.
class SupplyWorker {
public:
    // The protection as the instrument holds it when an action is queued.
    struct Guard {
        overcurrent::TripSettings settings;
        // The instrument's count of cleared trips.
        std::uint64_t tripClears = 0;
    };

    struct Polled {
        scpi::ActionResult result;
        std::optional<overcurrent::TripRecord> trip;
        // Whether the supply took the reset command that followed the trip.
        bool switchedOff = false;
    };
    using PollDone = std::function<void(const Polled&)>;

    // Runs a function on the thread that queued the actions.
    using Deliver = std::function<void(std::function<void()>)>;
    using Done = std::function<void(const scpi::ActionResult&)>;

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

    // An output that is to go on while the protection holds a trip is refused, with nothing
    // written.
    void Carry(const scpi::SupplyAction& action, const Guard& guard, Done done);
    // One poll of the currents, handed to the protection.
    void Poll(const Guard& guard, PollDone done);
    // Runs what is queued, then sends the reset command as the last bytes and closes the port.
    // True when the supply took it.
    bool Finish();

private:
    void Serve();
    void LookAgain();
    void Lose();
    void Follow(const Guard& guard);
    scpi::ActionResult Run(const scpi::SupplyAction& action);
    Polled RunPoll();

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
    // Only the worker's thread touches it while that runs.
    bool m_present = true;
    // While the supply is gone, when it is looked for next. Only the worker's thread touches it.
    std::chrono::steady_clock::time_point m_nextLook;
    // Only the worker's thread touches these.
    overcurrent::TripEngine m_engine;
    bool m_outputOn = false;
    // The voltage codes last sent with the output on.
    std::string m_codes;
    std::uint64_t m_tripClears = 0;

    std::thread m_thread;
};

} // namespace pelmora::server
