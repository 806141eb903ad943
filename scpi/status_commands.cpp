#include "scpi/handlers.h"
#include "scpi/parameter_values.h"

#include <string>

namespace pelmora::scpi {

namespace {

using Structure = EventRegister StatusRegisters::*;

template <Structure Member> void EventQuery(Call& call) {
    call.Answer(std::to_string((call.Client().Status().*Member).TakeEvents()));
}

template <Structure Member> void SetEnable(Call& call) {
    const auto mask = WholeValue(call.Parameters().front(), 0, kStatusBits);
    if (mask.error != Error::None) {
        call.Fail(mask.error);
        return;
    }
    (call.Client().Status().*Member).SetEnable(static_cast<std::uint16_t>(mask.value));
}

template <Structure Member> void EnableQuery(Call& call) {
    call.Answer(std::to_string((call.Client().Status().*Member).Enable()));
}

constexpr std::string_view kScpiVersion = "1999.0";

} // namespace

void OperationEventQuery(Call& call) {
    EventQuery<&StatusRegisters::operation>(call);
}
void OperationConditionQuery(Call& call) {
    call.Answer(std::to_string(call.Device().OperationCondition()));
}
void SetOperationEnable(Call& call) {
    SetEnable<&StatusRegisters::operation>(call);
}
void OperationEnableQuery(Call& call) {
    EnableQuery<&StatusRegisters::operation>(call);
}
void QuestionableEventQuery(Call& call) {
    EventQuery<&StatusRegisters::questionable>(call);
}
void QuestionableConditionQuery(Call& call) {
    call.Answer(std::to_string(call.Device().QuestionableCondition()));
}
void SetQuestionableEnable(Call& call) {
    SetEnable<&StatusRegisters::questionable>(call);
}
void QuestionableEnableQuery(Call& call) {
    EnableQuery<&StatusRegisters::questionable>(call);
}

void StatusPreset(Call& call) {
    call.Client().Status().Preset();
}

void NextErrorQuery(Call& call) {
    const Error error = call.Client().Errors().Take();
    call.Answer(std::to_string(static_cast<int>(error)) + "," + Quoted(ErrorText(error)));
}

void ErrorCountQuery(Call& call) {
    call.Answer(std::to_string(call.Client().Errors().Count()));
}

void VersionQuery(Call& call) {
    call.Answer(std::string(kScpiVersion));
}

void PortQuery(Call& call) {
    call.Answer(Quoted(call.Device().PortText()));
}

} // namespace pelmora::scpi
