#pragma once

#include "link/supply_protocol.h"
#include "rules/overcurrent_trip.h"
#include "rules/recent_average.h"
#include "scpi/client_state.h"
#include "scpi/error_queue.h"
#include "scpi/status_registers.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::scpi {

// The identity's first field, and the manufacturer the network is told of: whichever supply is
// behind it, the instrument that answers is ours.
inline constexpr std::string_view kManufacturer = "Pelmora";

// What the supply has been told, as positions in the voltage table.
struct SupplySettings {
    bool outputOn = false;
    int positiveStep = 0;
    int negativeStep = 0;

    friend bool operator==(const SupplySettings&, const SupplySettings&) = default;
};

// A program of voltage steps as the sessions build it: a list per rail (in voltage steps) and
// one of dwells; a one-element list holds for every step.
struct ListSettings {
    std::vector<int> positiveSteps;
    std::vector<int> negativeSteps;
    std::vector<std::chrono::milliseconds> dwells;
    // Passes through the steps; none for without end.
    std::optional<std::size_t> count = 1;
};

// The instrument all sessions share: the supply's settings, output, protection and program,
// the conditions of the status structures, and what the host has learnt of the supply. Each
// session keeps its own ClientState beside it and attaches it here, so that the supply's
// events reach every client's registers. Sessions change it; the host tells it about the
// supply.
class Instrument {
public:
    explicit Instrument(std::string version);
    // Sessions hold on to it.
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // From the host.
    // The identity reply's model text, e.g. "DRELVOV99".
    void SetModel(std::string model) { m_model = std::move(model); }
    void SetPortText(std::string text) {
        m_portText = std::move(text);
        Changed();
    }
    void PollSample(const protocol::CurrentReading& reading);
    void PollFailed();
    // The supply answered an exchange: whatever silence came before is over.
    void SupplyAnswered();
    // The output is off once the supply is gone, and stays off when it comes back.
    void SupplyLost();
    void SupplyFound();
    // The host's protection has switched the output off; the trip latches until cleared.
    void Tripped(const overcurrent::TripRecord& trip);
    // An error no client's command caused, for every client to read.
    void ReportToAll(Error error);

    ListSettings& List() { return m_list; }
    bool ProgramRunning() const { return m_programRunning; }
    // From the host: the program has started, or has ended with the output off.
    void ProgramStarted();
    void ProgramEnded();

    // Over-current protection as the sessions set it; the host's engine follows it.
    const overcurrent::TripSettings& Protection() const { return m_protection; }
    void SetProtection(const overcurrent::TripSettings& settings) {
        m_protection = settings;
        Changed();
    }
    const std::optional<overcurrent::TripRecord>& Trip() const { return m_trip; }
    void ClearTrip();
    // How many latched trips have been cleared: lets the host's engine tell a clear meant for
    // a trip it knows from one that came before it.
    std::uint64_t TripClears() const { return m_tripClears; }
    // As the server starts: no rail watched, no trip latched.
    void ResetProtection();

    // For the sessions.
    const SupplySettings& Settings() const { return m_settings; }
    // The settings as handed to the supply, in the order the supply gets them.
    void Dispatch(const SupplySettings& settings);
    std::uint16_t OperationCondition() const { return m_operation.Bits(); }
    std::uint16_t QuestionableCondition() const { return m_questionable.Bits(); }
    // The mean of the rail's samples since the output went on or its voltages last changed, the
    // last ten at most, in mA; none before the first such sample.
    std::optional<double> AverageMilliamps(Rail rail) const;
    bool SupplyAbsent() const;

    // Called after anything a client could see has changed, for faces that show the state
    // without asking (a web page).
    void SetChangeListener(std::function<void()> listener) { m_changed = std::move(listener); }

    // A session's own state, attached for as long as the session lives.
    void Attach(ClientState& client);
    void Detach(ClientState& client);

    const std::string& Model() const { return m_model; }
    const std::string& Version() const { return m_version; }
    const std::string& PortText() const { return m_portText; }

private:
    void Absent(bool lost, bool silent);
    void SetOperation(std::uint16_t bit, bool set);
    void SetQuestionable(std::uint16_t bit, bool set);
    void Changed() const;

    SupplySettings m_settings;
    Condition m_operation;
    Condition m_questionable;
    std::vector<ClientState*> m_clients;
    RecentAverage m_average;
    overcurrent::TripSettings m_protection;
    std::optional<overcurrent::TripRecord> m_trip;
    ListSettings m_list;
    bool m_programRunning = false;
    std::uint64_t m_tripClears = 0;
    bool m_lost = false;
    bool m_silent = false;
    std::string m_model;
    std::string m_version;
    std::string m_portText;
    std::function<void()> m_changed;
};

} // namespace pelmora::scpi
