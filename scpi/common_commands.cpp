#include "scpi/handlers.h"
#include "scpi/instrument.h"
#include "scpi/parameter_values.h"

#include <limits>
#include <string>

namespace pelmora::scpi {

namespace {

constexpr int kLargestRegister = std::numeric_limits<std::uint8_t>::max();
// IEEE 488.2 asks for a 0 in a field the instrument cannot fill.
constexpr std::string_view kUnknownField = "0";
constexpr std::string_view kSelfTestPassed = "0";
constexpr std::string_view kSelfTestFailed = "1";

std::optional<std::uint8_t> RegisterValue(Call& call) {
    const auto mask = WholeValue(call.Parameters().front(), 0, kLargestRegister);
    if (mask.error != Error::None) {
        call.Fail(mask.error);
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(mask.value);
}

} // namespace

void ClearStatus(Call& call) {
    call.Client().Errors().Clear();
    call.Client().Status().ClearEvents();
}

void SetEventStatusEnable(Call& call) {
    if (const auto mask = RegisterValue(call)) {
        call.Client().Status().SetEventStatusEnable(*mask);
    }
}

void EventStatusEnableQuery(Call& call) {
    call.Answer(std::to_string(call.Client().Status().EventStatusEnable()));
}

void EventStatusQuery(Call& call) {
    call.Answer(std::to_string(call.Client().Status().TakeEventStatus()));
}

void IdentityQuery(Call& call) {
    const auto& model = call.Device().Model();
    std::string text(kManufacturer);
    text += ',';
    text += model.empty() ? std::string(kUnknownField) : model;
    text += ',';
    text += kUnknownField;
    text += ',';
    text += call.Device().Version();
    call.Answer(std::move(text));
}

void OperationComplete(Call& call) {
    if (call.Device().ProgramRunning()) {
        call.Client().AwaitCompletion();
    } else {
        call.Client().Status().RaiseEvent(esr::kOperationComplete);
    }
}

// Once the line's changes have reached the supply, only a running program is still pending:
// the answer waits for its end, which never comes for a program that repeats without end.
void OperationCompleteQuery(Call& call) {
    if (call.Device().ProgramRunning() && !call.Exchange(ProgramEndAction{})) {
        return;
    }
    call.Answer("1");
}

void Reset(Call& call) {
    if (call.Device().ProgramRunning() && !call.Exchange(StopProgramAction{})) {
        return;
    }
    // As the panel starts: output off, both rails at the first step, rail 1 selected, no
    // protection.
    call.Draft() = {false, 0, 0};
    call.Client().SelectRail(Rail::Positive);
    call.Device().ResetProtection();
    call.Device().List() = {};
}

void SetServiceRequestEnable(Call& call) {
    if (const auto mask = RegisterValue(call)) {
        call.Client().Status().SetServiceRequestEnable(*mask);
    }
}

void ServiceRequestEnableQuery(Call& call) {
    call.Answer(std::to_string(call.Client().Status().ServiceRequestEnable()));
}

void StatusByteQuery(Call& call) {
    auto& client = call.Client();
    call.Answer(std::to_string(
        client.Status().StatusByte(client.Errors().Count() > 0, call.ReplyWaiting())));
}

void SelfTestQuery(Call& call) {
    const ActionResult* result = call.Exchange(IdentifyAction{});
    if (!result) {
        return;
    }
    call.Answer(std::string(result->outcome == ActionResult::Outcome::Done ? kSelfTestPassed
                                                                           : kSelfTestFailed));
}

void Wait(Call& call) {
    if (call.Device().ProgramRunning()) {
        call.Exchange(ProgramEndAction{});
    }
}

} // namespace pelmora::scpi
