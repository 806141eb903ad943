#pragma once

#include "supply_protocol.h"

#include <string_view>
#include <variant>

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

using SupplyAction = std::variant<ApplyAction, MeasureAction, IdentifyAction, SampleAction>;

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
