#pragma once

#include "rules/supply_controller.h"
#include "scpi/instrument.h"
#include "server/server_log.h"
#include "server/supply_executor.h"
#include "server/supply_view.h"

#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelmora::server {

// Who asked: a client's number for its waits, and how the log names it.
struct Requester {
    std::uint64_t id = 0;
    std::string name;
};

// The supply's time on the server's loop. The clients' actions go through the controller,
// which holds the rules, and what it says to send goes to the worker in the order the actions
// came; the currents are polled while the output is on (and while the supply is silent, until
// it answers); a program's steps are applied when they are due; the instrument the sessions
// read is kept as the controller has it; and the clients that wait for the next sample or for
// the program's end are answered then.
class SupplyScheduler {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;

    SupplyScheduler(asio::any_io_executor executor, scpi::Instrument& instrument,
                    SupplyExecutor& worker, ServerLog& log);
    SupplyScheduler(const SupplyScheduler&) = delete;
    SupplyScheduler& operator=(const SupplyScheduler&) = delete;

    void Start();
    // No more polls or steps; the waits are dropped.
    void Stop();

    // A client's action; `done` runs later on the loop with its result, never at once.
    void Carry(const Requester& who, const scpi::SupplyAction& action, Done done);
    // The client's waits for the next sample and for the program's end are given up.
    void Forget(std::uint64_t id);
    // Nobody is left to watch: a program ends, and the output goes off. `cause` is the reason
    // the log gives.
    void SwitchOffUnwatched(const std::string& cause);

    // The supply as the faces show it now.
    SupplyView View() const;
    // Called after anything in the view may have changed: the instrument's state, a program's
    // step, a trip.
    void SetChangeListener(std::function<void()> listener);

    // For the worker's events.
    void SupplyLost();
    void SupplyFound(const std::string& port);

private:
    struct Wait {
        std::uint64_t id;
        Done done;
    };

    void Apply(const Requester& who, const scpi::ApplyAction& apply, Done done);
    // Carries out what the controller said: the commands in order (a trip's reset first of
    // all), the instrument kept as the controller has it, and the log. `done` runs with the
    // last command's result, or at once (later on the loop) when there is none.
    void Handle(const Reaction& reaction, const std::string& who, Done done = {});
    void Sent(const SupplyCommand& command, const std::string& who, bool logged,
              const scpi::ActionResult& result);
    void Tripped(const overcurrent::TripRecord& trip, const scpi::ActionResult& reset);
    // The program's end has reached the supply: those waiting for it are answered.
    void ProgramOver();
    void SchedulePoll();
    void Poll();
    void Sampled(const scpi::ActionResult& result);
    void ScheduleStep();
    // What the sessions changed without the supply: the protection, the clearing of a trip,
    // voltages while the output is off.
    void FollowProtection();
    void Mirror();
    void Later(std::function<void()> task);
    void CompleteSampleWaits(const scpi::ActionResult& result);

    asio::any_io_executor m_executor;
    asio::steady_timer m_pollTimer;
    asio::steady_timer m_programTimer;
    scpi::Instrument& m_instrument;
    SupplyExecutor& m_worker;
    ServerLog& m_log;
    SupplyController m_controller{SupplyController::Policy{true}};
    std::uint64_t m_tripClears = 0;
    std::uint64_t m_trips = 0;
    std::function<void()> m_changed;
    std::vector<Wait> m_sampleWaits;
    std::vector<Wait> m_programWaits;
    bool m_pollPending = false;
    bool m_stopped = false;
};

} // namespace pelmora::server
