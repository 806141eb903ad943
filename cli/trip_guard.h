#pragma once

#include "cli/supply_access.h"
#include "rules/overcurrent_trip.h"

#include <optional>
#include <string>

namespace pelmora::cli {

// The over-current protection as pelmora-cli runs it: every poll sample goes to the engine,
// and a sample that trips it switches the output off before anything else is sent. Without
// settings it only passes the polls on.
class TripGuard {
public:
    TripGuard(SupplyAccess& supply, const std::optional<overcurrent::TripSettings>& settings);

    // Call just before the command that switches the output on, or changes its voltage while
    // it is on: the blanking time starts from there.
    void OutputOn();
    void VoltageChanged();

    // A poll of the supply; `tripped` in the result when the protection switched the output off.
    PolledCurrents Poll();

    // What a trip ends the run with: exit status 4 and "tripped: pos 123 mA > 100 mA at <time>",
    // or status 1 when the output could not be switched off after it.
    [[noreturn]] void ThrowTrip() const;

private:
    SupplyAccess& m_supply;
    bool m_armed;
    overcurrent::TripEngine m_engine;
    // Why the switch-off after a trip failed; empty when it went through.
    std::string m_switchOffProblem;
};

} // namespace pelmora::cli
