#include "scpi/instrument.h"

#include <algorithm>
#include <numeric>

namespace pelmora::scpi {

namespace {

std::size_t IndexOf(Rail rail) {
    return rail == Rail::Positive ? 0 : 1;
}

} // namespace

Instrument::Instrument(std::string version) : m_version(std::move(version)) {}

void Instrument::PollSample(const protocol::CurrentReading& reading) {
    Absent(m_lost, false);
    if (!m_settings.outputOn) {
        return;
    }
    const std::array<int, 2> values = {reading.positiveMa, reading.negativeMa};
    for (std::size_t rail = 0; rail < values.size(); ++rail) {
        auto& samples = m_samples[rail];
        samples.milliamps[samples.next] = values[rail];
        samples.next = (samples.next + 1) % kAveragedSamples;
        samples.count = std::min(samples.count + 1, kAveragedSamples);
    }
}

void Instrument::PollFailed() {
    Absent(m_lost, true);
}

void Instrument::SupplyAnswered() {
    Absent(m_lost, false);
}

void Instrument::SupplyLost() {
    Absent(true, m_silent);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
}

void Instrument::SupplyFound() {
    Absent(false, false);
}

void Instrument::ProgramStarted() {
    m_programRunning = true;
    SetOperation(oper::kProgramRunning, true);
}

void Instrument::ProgramEnded() {
    m_programRunning = false;
    SetOperation(oper::kProgramRunning, false);
    for (ClientState* client : m_clients) {
        client->ProgramOver();
    }
}

void Instrument::Tripped(const overcurrent::TripRecord& trip) {
    m_trip = trip;
    SetQuestionable(ques::kOverCurrent, true);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
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
}

void Instrument::ResetProtection() {
    m_protection = {};
    ClearTrip();
}

void Instrument::Dispatch(const SupplySettings& settings) {
    // Samples from before the output went on or off, or before its voltages changed, say
    // nothing of the present current.
    if (settings != m_settings) {
        ForgetSamples();
    }
    m_settings = settings;
    SetOperation(oper::kOutputOn, settings.outputOn);
}

std::optional<double> Instrument::AverageMilliamps(Rail rail) const {
    const auto& samples = m_samples[IndexOf(rail)];
    if (samples.count == 0) {
        return std::nullopt;
    }
    const auto first = samples.milliamps.begin();
    const auto count = static_cast<std::ptrdiff_t>(samples.count);
    return static_cast<double>(std::accumulate(first, first + count, 0)) /
           static_cast<double>(samples.count);
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

void Instrument::ForgetSamples() {
    m_samples = {};
}

} // namespace pelmora::scpi
