#pragma once

#include "scpi/client_state.h"
#include "scpi/errors.h"
#include "scpi/instrument.h"
#include "scpi/program_unit.h"
#include "scpi/supply_action.h"

#include <optional>
#include <string>
#include <vector>

namespace pelmora::scpi {

// The changes a line has made so far, kept apart until the line reaches the supply.
struct LineDraft {
    std::optional<bool> outputOn;
    std::optional<int> positiveStep;
    std::optional<int> negativeStep;

    bool Empty() const { return !outputOn && !positiveStep && !negativeStep; }
    SupplySettings Over(const SupplySettings& settings) const;
};

// What a command's handler sees of its session while it runs: its parameters, the shared
// instrument, the client's own state, the line's draft, and the ways to answer, fail or ask the
// supply.
class Call {
public:
    Call(Instrument& instrument, ClientState& client, LineDraft& draft, const ProgramUnit& unit,
         const std::optional<ActionResult>& result, bool replyWaiting)
        : m_instrument(instrument), m_client(client), m_draft(draft), m_unit(unit),
          m_result(result), m_replyWaiting(replyWaiting) {}

    const std::vector<Parameter>& Parameters() const { return m_unit.parameters; }
    Instrument& Device() { return m_instrument; }
    ClientState& Client() { return m_client; }
    // The supply's settings as this line has left them so far.
    SupplySettings Settings() const { return m_draft.Over(m_instrument.Settings()); }
    LineDraft& Draft() { return m_draft; }
    // Whether this line already holds an answer (the message-available bit of *STB?).
    bool ReplyWaiting() const { return m_replyWaiting || !m_answers.empty(); }

    void Answer(std::string text) { m_answers.push_back(std::move(text)); }
    // Reports the error; a handler that fails gives no answer.
    void Fail(Error error);
    // The result of `action` once the host has carried it out; until then nothing, and the
    // handler returns at once: it runs again from the start when the result is in, so all it
    // does before asking must be free of effects.
    const ActionResult* Exchange(const SupplyAction& action);
    // The result this run was resumed with, if any.
    const ActionResult* Resumed() const { return m_result ? &*m_result : nullptr; }

    const std::vector<std::string>& Answers() const { return m_answers; }
    Error Failure() const { return m_failure; }
    const std::optional<SupplyAction>& Request() const { return m_request; }

private:
    Instrument& m_instrument;
    ClientState& m_client;
    LineDraft& m_draft;
    const ProgramUnit& m_unit;
    const std::optional<ActionResult>& m_result;
    bool m_replyWaiting;
    std::vector<std::string> m_answers;
    Error m_failure = Error::None;
    std::optional<SupplyAction> m_request;
};

Error ErrorOf(ActionResult::Outcome outcome);

} // namespace pelmora::scpi
