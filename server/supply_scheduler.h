#pragma once

#include "rules/sequence_schedule.h"
#include "scpi/instrument.h"
#include "server/server_log.h"
#include "server/supply_worker.h"

#include <asio/any_io_executor.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace pelmora::server {

// Who asked: a client's number for its waits, and how the log names it.
struct Requester {
    std::uint64_t id = 0;
    std::string name;
};

// The supply's time on the server's loop: the actions of every client go to the worker in the
// order they come, the currents are polled while the output is on (and while the supply is
// silent, until it answers), a program's steps are applied when they are due, and the clients
// that wait for the next sample or for the program's end are answered then.
class SupplyScheduler {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;

    SupplyScheduler(asio::any_io_executor executor, scpi::Instrument& instrument,
                    SupplyWorker& worker, ServerLog& log);
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

    // For the worker's events.
    void SupplyLost();
    void SupplyFound(const std::string& port);

private:
    struct Program {
        std::vector<scpi::ProgramStep> steps;
        SequenceSchedule schedule;
        std::size_t next = 0;
    };
    struct Wait {
        std::uint64_t id;
        Done done;
    };

    void SchedulePoll();
    void Poll();
    void Sampled(const scpi::ActionResult& result);
    // An exchange that got its reply ends a silence of the supply's.
    void Answered(const scpi::ActionResult& result);
    void Tripped(const SupplyWorker::Polled& polled);
    void StartProgram(const std::string& who, const scpi::RunProgramAction& run);
    void ScheduleStep();
    void RunStep(const SequenceSchedule::Slot& slot);
    // Ends the program with the output off, then runs `done` and answers those waiting;
    // `offCause` is what the log gives as the reason for the switch-off.
    void EndProgram(const std::string& why, std::function<void()> done = {},
                    const std::string& offCause = "the program's end");
    void Later(std::function<void()> task);
    SupplyWorker::Guard Guard() const;
    void CompleteSampleWaits(const scpi::ActionResult& result);
    void Applied(const std::string& who, const scpi::ApplyAction& apply,
                 const scpi::ActionResult& result, bool logged);

    asio::any_io_executor m_executor;
    asio::steady_timer m_pollTimer;
    asio::steady_timer m_programTimer;
    scpi::Instrument& m_instrument;
    SupplyWorker& m_worker;
    ServerLog& m_log;
    std::vector<Wait> m_sampleWaits;
    std::optional<Program> m_program;
    std::vector<Wait> m_programWaits;
    bool m_pollPending = false;
    bool m_lost = false;
    bool m_stopped = false;
};

} // namespace pelmora::server
