#include "tests/scpi/scripted_host.h"

#include <type_traits>
#include <variant>

using namespace pelmora;
using namespace pelmora::scpi;

std::string ScriptedHost::Send(Session& target, std::string_view bytes) {
    target.Receive(bytes);
    std::string replies;
    while (true) {
        const Step step = target.Run();
        if (const auto* reply = std::get_if<Reply>(&step)) {
            replies += reply->text;
        } else if (const auto* act = std::get_if<Act>(&step)) {
            target.Complete(Carry(act->action));
        } else {
            return replies;
        }
    }
}

ActionResult ScriptedHost::Carry(const SupplyAction& action) {
    ActionResult result;
    if (!outcomes.empty()) {
        result.outcome = outcomes.front();
        outcomes.pop_front();
    }
    std::visit(
        [&](const auto& kind) {
            using Kind = std::decay_t<decltype(kind)>;
            if constexpr (std::is_same_v<Kind, ApplyAction>) {
                wire.push_back(kind.outputOn ? protocol::BuildVoltageCommand(kind.positiveCode,
                                                                             kind.negativeCode)
                                             : std::string(protocol::kResetCommand));
            } else if constexpr (std::is_same_v<Kind, MeasureAction>) {
                wire.emplace_back(protocol::kCurrentRequest);
                result.reading = reading;
                if (result.outcome == ActionResult::Outcome::Done) {
                    instrument.SupplyAnswered();
                }
            } else if constexpr (std::is_same_v<Kind, IdentifyAction>) {
                wire.emplace_back(protocol::kIdentityRequest);
                if (result.outcome == ActionResult::Outcome::Done) {
                    instrument.SupplyAnswered();
                }
            } else if constexpr (std::is_same_v<Kind, RunProgramAction>) {
                programs.push_back(kind);
                instrument.ProgramStarted();
            } else if constexpr (std::is_same_v<Kind, StopProgramAction> ||
                                 std::is_same_v<Kind, ProgramEndAction>) {
                // The program runs to its end here as soon as anyone waits for it.
                EndProgram();
            } else {
                wire.emplace_back(protocol::kCurrentRequest);
                if (result.outcome == ActionResult::Outcome::Done) {
                    instrument.PollSample(reading);
                } else {
                    instrument.PollFailed();
                }
            }
        },
        action);
    return result;
}

void ScriptedHost::EndProgram() {
    if (!instrument.ProgramRunning()) {
        return;
    }
    const auto settings = instrument.Settings();
    if (settings.outputOn) {
        wire.emplace_back(protocol::kResetCommand);
    }
    instrument.Dispatch({false, settings.positiveStep, settings.negativeStep});
    instrument.ProgramEnded();
}

std::vector<int> ScriptedHost::DrainErrors() {
    std::vector<int> errors;
    auto& queue = session.Client().Errors();
    for (Error error = queue.Take(); error != Error::None; error = queue.Take()) {
        errors.push_back(static_cast<int>(error));
    }
    return errors;
}
