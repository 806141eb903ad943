#pragma once

#include "listen_address.h"
#include "sequence_schedule.h"
#include "serve_connection.h"
#include "serve_log.h"
#include "supply_worker.h"

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace pelmora::cli {

struct ServeRules {
    // Empty: every peer.
    std::vector<AddressRange> allowed;
    bool offOnDisconnect = false;
};

// Accepts up to kMaxClients clients at once on the listening socket and lets them share one
// instrument; their supply actions go to the worker in the order they come. While the output
// is on, it has the currents polled.
class ScpiServer final : public ConnectionHost {
public:
    static constexpr std::size_t kMaxClients = 4;

    ScpiServer(asio::ip::tcp::acceptor& acceptor, scpi::Instrument& instrument,
               SupplyWorker& worker, ServeLog& log, ServeRules rules);
    ScpiServer(const ScpiServer&) = delete;
    ScpiServer& operator=(const ScpiServer&) = delete;

    void Start();
    // Stops accepting and polling and closes every client.
    void Stop();

    // For the worker's events.
    void SupplyLost();
    void SupplyFound(const std::string& port);

    void Carry(ServeConnection& connection, const scpi::SupplyAction& action, Done done) override;
    void Closed(ServeConnection& connection) override;

private:
    void Accept();
    void Admit(asio::ip::tcp::socket socket);
    void SchedulePoll();
    void Poll();
    void Sampled(const scpi::ActionResult& result);
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
                 const scpi::ActionResult& result);

    asio::ip::tcp::acceptor& m_acceptor;
    asio::steady_timer m_pollTimer;
    asio::steady_timer m_acceptRetry;
    scpi::Instrument& m_instrument;
    SupplyWorker& m_worker;
    ServeLog& m_log;
    ServeRules m_rules;
    std::set<std::shared_ptr<ServeConnection>> m_clients;
    // Sessions waiting for the next poll's sample.
    std::vector<Done> m_sampleWaits;
    // The program that runs, if any.
    struct Program {
        std::vector<scpi::ProgramStep> steps;
        SequenceSchedule schedule;
        std::size_t next = 0;
    };
    std::optional<Program> m_program;
    asio::steady_timer m_programTimer;
    // Sessions waiting for the program's end.
    struct ProgramWait {
        const ServeConnection* connection;
        Done done;
    };
    std::vector<ProgramWait> m_programWaits;
    bool m_pollPending = false;
    bool m_lost = false;
    bool m_stopped = false;
};

} // namespace pelmora::cli
