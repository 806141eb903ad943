#include "instrument.h"

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

void Instrument::SupplyLost() {
    Absent(true, m_silent);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
}

void Instrument::SupplyFound() {
    Absent(false, false);
}

void Instrument::ProgramStarted() {
    m_programRunning = true;
    m_status.operation.SetCondition(oper::kProgramRunning, true);
}

void Instrument::ProgramEnded() {
    m_programRunning = false;
    m_status.operation.SetCondition(oper::kProgramRunning, false);
    if (m_completionPending) {
        m_completionPending = false;
        m_status.RaiseEvent(esr::kOperationComplete);
    }
}

void Instrument::CompleteWhenIdle() {
    if (m_programRunning) {
        m_completionPending = true;
    } else {
        m_status.RaiseEvent(esr::kOperationComplete);
    }
}

void Instrument::Tripped(const overcurrent::TripRecord& trip) {
    m_trip = trip;
    m_status.questionable.SetCondition(ques::kOverCurrent, true);
    Dispatch({false, m_settings.positiveStep, m_settings.negativeStep});
}

void Instrument::ClearTrip() {
    if (m_trip) {
        ++m_tripClears;
    }
    m_trip.reset();
    m_status.questionable.SetCondition(ques::kOverCurrent, false);
}

void Instrument::ResetProtection() {
    m_protection = {};
    ClearTrip();
}

void Instrument::Dispatch(const SupplySettings& settings) {
    if (settings.outputOn != m_settings.outputOn) {
        // Samples from before the output went on (or off) say nothing of the present current.
        ForgetSamples();
    }
    m_settings = settings;
    m_status.operation.SetCondition(oper::kOutputOn, settings.outputOn);
}

void Instrument::Report(Error error) {
    m_status.RaiseEvent(EventBitOf(error));
    if (!m_errors.Push(error)) {
        m_status.RaiseEvent(EventBitOf(Error::QueueOverflow));
    }
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

void Instrument::Absent(bool lost, bool silent) {
    m_lost = lost;
    m_silent = silent;
    m_status.questionable.SetCondition(ques::kSupplyAbsent, SupplyAbsent());
}

void Instrument::ForgetSamples() {
    m_samples = {};
}

} // namespace pelmora::scpi
