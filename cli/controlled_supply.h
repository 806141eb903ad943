#pragma once

#include "cli/supply_access.h"
#include "rules/overcurrent_trip.h"
#include "rules/supply_controller.h"

#include <optional>
#include <string>

namespace pelmora::cli {

// The supply as a verb drives it: every change and every poll goes through the controller,
// which holds the rules, and what it says to send is carried out here on the supply, on a port
// of this machine or through a server. A trip's reset goes out before anything else.
class ControlledSupply {
public:
    // Without trip settings the protection watches nothing.
    ControlledSupply(SupplyAccess& supply, const std::optional<overcurrent::TripSettings>& trip);

    SupplyAccess& Supply() { return m_supply; }
    const SupplyController& Controller() const { return m_controller; }

    // Both rails set and the output on. Throws CliError when the supply does not take it.
    void SwitchOn(std::string_view positiveCode, std::string_view negativeCode);
    // The output is watched from now as on, as whatever else switched it on left it.
    void WatchAsOn();
    // A poll of the supply, with the present average; `tripped` when the protection switched
    // the output off on this sample.
    PolledCurrents Poll();

    // A program of steps, the output left as it is after the last; each step that changes the
    // voltages is written when it is due. Tick() writes what is due now.
    void StartProgram(std::vector<SequenceStep> steps, std::optional<std::size_t> passes);
    // What ended the program, if it ended.
    std::optional<ProgramEnd> Tick();
    // When Tick() has something to do next.
    std::optional<SupplyController::Time> NextDue() const { return m_controller.NextDue(); }
    // Why the program ended with StepNotTaken.
    const std::string& StepProblem() const { return m_stepProblem; }

    // What a trip ends the run with: exit status 4 and "tripped: pos 123 mA > 100 mA at <time>",
    // or status 1 when the output could not be switched off after it.
    [[noreturn]] void ThrowTrip() const;

private:
    // Sends what the controller said; a command the supply does not take ends a program.
    void Carry(const Reaction& reaction, std::optional<ProgramEnd>& ended);

    SupplyAccess& m_supply;
    SupplyController m_controller;
    // Why the switch-off after a trip failed; empty when it went through.
    std::string m_switchOffProblem;
    std::string m_stepProblem;
};

} // namespace pelmora::cli
