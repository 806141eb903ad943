#pragma once

#include "link/rail.h"
#include "scpi/error_queue.h"
#include "scpi/status_registers.h"

namespace pelmora::scpi {

using pelmora::Rail;

// INSTrument:NSELect's numbers: rail 1 is the positive one, rail 2 the negative one.
inline constexpr int kFirstRailNumber = 1;
inline constexpr int kLastRailNumber = 2;
inline int RailNumber(Rail rail) {
    return rail == Rail::Positive ? kFirstRailNumber : kLastRailNumber;
}
inline Rail RailOfNumber(int number) {
    return number == kFirstRailNumber ? Rail::Positive : Rail::Negative;
}

// What each client keeps to itself while it shares the supply with others: the rail its
// commands speak to, its errors and its status registers. Another client's INST:NSEL, failed
// command or *ESR? must not change what this one does or reads.
class ClientState {
public:
    Rail SelectedRail() const { return m_selectedRail; }
    void SelectRail(Rail rail) { m_selectedRail = rail; }

    // The one way an error is reported to a client: queued, and counted in its event status
    // register.
    void Report(Error error);
    ErrorQueue& Errors() { return m_errors; }
    StatusRegisters& Status() { return m_status; }

    // *OPC while a program runs: the operation-complete event waits for the program's end.
    void AwaitCompletion() { m_completionPending = true; }
    // The program has ended.
    void ProgramOver();

private:
    Rail m_selectedRail = Rail::Positive;
    ErrorQueue m_errors;
    StatusRegisters m_status;
    bool m_completionPending = false;
};

} // namespace pelmora::scpi
