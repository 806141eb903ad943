#include "cli/trip_guard.h"

#include "cli/cli_error.h"
#include "link/local_time.h"

#include <chrono>

namespace pelmora::cli {

namespace {

std::string TripLine(const overcurrent::TripRecord& trip) {
    return std::string("tripped: ") + (trip.rail == Rail::Positive ? "pos " : "neg ") +
           std::to_string(trip.readingMa) + " mA > " + std::to_string(trip.limitMa) + " mA at " +
           FormatLocalTimestamp(trip.when);
}

} // namespace

TripGuard::TripGuard(SupplyAccess& supply, const std::optional<overcurrent::TripSettings>& settings)
    : m_supply(supply), m_armed(settings.has_value()),
      m_engine(settings.value_or(overcurrent::TripSettings{})) {}

void TripGuard::OutputOn() {
    // Nothing is latched before the first trip, and a trip ends the run.
    m_engine.OutputOn(std::chrono::steady_clock::now());
}

void TripGuard::VoltageChanged() {
    m_engine.VoltageChanged(std::chrono::steady_clock::now());
}

PolledCurrents TripGuard::Poll() {
    PolledCurrents polled = m_supply.Poll();
    if (!m_armed) {
        return polled;
    }
    const overcurrent::PollSample sample{polled.reading, std::chrono::steady_clock::now(),
                                         std::chrono::system_clock::now()};
    if (m_engine.Sample(sample)) {
        polled.tripped = true;
        try {
            m_supply.SwitchOff();
        } catch (const CliError& error) {
            m_switchOffProblem = error.what();
        }
    }
    return polled;
}

void TripGuard::ThrowTrip() const {
    const std::string line = TripLine(*m_engine.Trip());
    if (!m_switchOffProblem.empty()) {
        throw CliError(kExitNoSupply,
                       line + ", but the output could NOT be switched off: " + m_switchOffProblem);
    }
    throw CliError(kExitTripped, line);
}

} // namespace pelmora::cli
