#pragma once

#include "cli/controlled_supply.h"
#include "cli/status_line.h"
#include "cli/stop_signals.h"
#include "rules/voltage_sequence.h"

#include <cstddef>
#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace pelmora::cli {

enum class SequenceEnd {
    // Every pass ran to the end of its last dwell.
    Done,
    // A stop signal came.
    Interrupted,
    // The protection tripped and switched the output off.
    Tripped,
    // The port went away, or the server that holds it.
    PortLost,
    // A step could not be written to the supply.
    StepFailed,
    // The supply stopped answering the polls: with the protection blind, the program ended and
    // the output went off.
    SupplySilent,
    // The rows could not be written.
    OutputFailed,
};

struct SequenceResult {
    SequenceEnd end = SequenceEnd::Done;
    // The last step written, counted from 1 within its pass, and its pass, also from 1; 0 for
    // none.
    std::size_t step = 0;
    std::size_t pass = 0;
    long long samples = 0;
    // For PortLost, StepFailed, SupplySilent and OutputFailed: what went wrong, as one line.
    std::string problem;
};

// The recording's header: a monitor row and the step it was taken in.
inline constexpr std::string_view kSequenceRecordHeader =
    "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA,step";

// Runs the program `passes` times (without end when empty) through the controller: each step's
// voltages are written when it is due, its start being the program's start plus the dwells
// before it, so lateness never adds up, and a step that keeps the voltages writes nothing;
// between steps the currents are polled and recorded. The output goes on with the first step
// and is left as it is at the end, unless a trip or a silent supply switched it off.
SequenceResult RunSequence(ControlledSupply& supply, std::span<const SequenceStep> steps,
                           std::optional<std::size_t> passes, std::ostream& csv, StatusLine& status,
                           const StopSignals& stop);

} // namespace pelmora::cli
