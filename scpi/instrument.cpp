#include "scpi/instrument.h"

namespace pelmora::scpi {

Instrument::Instrument(std::string version) : m_version(std::move(version)) {}

void Instrument::PollSample(const protocol::CurrentReading& reading) {
    Absent(m_lost, false);
    if (m_settings.outputOn) {
        m_average.Add(reading);
    }
    Changed();
}

void Instrument::PollFailed() {
    Absent(m_lost, true);
    Changed();
}

void Instrument::SupplyAnswered() {
    Absent(m_lost, false);
    Changed();
}

void Instrument::SupplyLost() {
    Absent(true, m_silent);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
    Changed();
}

void Instrument::SupplyFound() {
    Absent(false, false);
    Changed();
}

void Instrument::ProgramStarted() {
    m_programRunning = true;
    SetOperation(oper::kProgramRunning, true);
    Changed();
}

void Instrument::ProgramEnded() {
    m_programRunning = false;
    SetOperation(oper::kProgramRunning, false);
    for (ClientState* client : m_clients) {
        client->ProgramOver();
    }
    Changed();
}

void Instrument::Tripped(const overcurrent::TripRecord& trip) {
    m_trip = trip;
    SetQuestionable(ques::kOverCurrent, true);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
    Changed();
}

void Instrument::ReportToAll(Error error) {
    for (ClientState* client : m_clients) {
        client->Report(error);
    }
}

void Instrument::ClearTrip() {
    if (m_trip) {
        ++m_tripClears;
    }
    m_trip.reset();
    SetQuestionable(ques::kOverCurrent, false);
    Changed();
}

void Instrument::ResetProtection() {
    m_protection = {};
    ClearTrip();
}

void Instrument::Dispatch(const SupplySettings& settings) {
    // Samples from before the output went on or off, or before its voltages changed, say
    // nothing of the present current.
    if (settings != m_settings) {
        m_average.Restart();
    }
    m_settings = settings;
    SetOperation(oper::kOutputOn, settings.outputOn);
    Changed();
}

std::optional<double> Instrument::AverageMilliamps(Rail rail) const {
    return m_average.Milliamps(rail);
}

bool Instrument::SupplyAbsent() const {
    return m_lost || m_silent;
}

void Instrument::Attach(ClientState& client) {
    m_clients.push_back(&client);
}

void Instrument::Detach(ClientState& client) {
    std::erase(m_clients, &client);
}

void Instrument::Changed() const {
    if (m_changed) {
        m_changed();
    }
}

void Instrument::Absent(bool lost, bool silent) {
    m_lost = lost;
    m_silent = silent;
    SetQuestionable(ques::kSupplyAbsent, SupplyAbsent());
}

void Instrument::SetOperation(std::uint16_t bit, bool set) {
    if (const auto rising = m_operation.Set(bit, set)) {
        for (ClientState* client : m_clients) {
            client->Status().operation.Latch(rising);
        }
    }
}

void Instrument::SetQuestionable(std::uint16_t bit, bool set) {
    if (const auto rising = m_questionable.Set(bit, set)) {
        for (ClientState* client : m_clients) {
            client->Status().questionable.Latch(rising);
        }
    }
}

} // namespace pelmora::scpi
