#pragma once

#include "link/supply_protocol.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

// What a session asks of the supply, and what the host tells it back. The host owns the port:
// it turns each action into the supply's commands and runs them off the session's thread.
namespace pelmora::scpi {

// Output on: one voltage command with both codes (it switches the output on). Output off: the
// reset command; the codes are then only what the next "on" will send.
struct ApplyAction {
    bool outputOn = false;
    std::string_view positiveCode;
    std::string_view negativeCode;
};

// One current request, answered now.
struct MeasureAction {};

// One identity request.
struct IdentifyAction {};

// Done once the host has handed the instrument its next poll sample (or reported its failure).
struct SampleAction {};

// Starts a program of voltage steps, each applied at its scheduled time, and is done at once;
// the host tells the instrument when the program ends, with the output off.
struct ProgramStep {
    int positiveStep = 0;
    int negativeStep = 0;
    std::chrono::milliseconds dwell{};
};

struct RunProgramAction {
    std::vector<ProgramStep> steps;
    // Runs through the steps; none for without end.
    std::optional<std::size_t> passes;
};

// Ends the running program at once, with the output off.
struct StopProgramAction {};

// Done once no program runs.
struct ProgramEndAction {};

using SupplyAction = std::variant<ApplyAction, MeasureAction, IdentifyAction, SampleAction,
                                  RunProgramAction, StopProgramAction, ProgramEndAction>;

struct ActionResult {
    enum class Outcome {
        Done,
        // The supply is there but did not answer as it should.
        NoAnswer,
        // The port is gone.
        Gone,
        // The host's protection has tripped: the output stays off until the trip is cleared.
        Refused,
    };
    Outcome outcome = Outcome::Done;
    // The reading of a MeasureAction.
    protocol::CurrentReading reading;
};

} // namespace pelmora::scpi
