#pragma once

#include "scpi/call.h"
#include "scpi/status_registers.h"

// The commands' handlers, named as the command table lists them.
namespace pelmora::scpi {

// IEEE 488.2 common commands.
void ClearStatus(Call& call);
void SetEventStatusEnable(Call& call);
void EventStatusEnableQuery(Call& call);
void EventStatusQuery(Call& call);
void IdentityQuery(Call& call);
void OperationComplete(Call& call);
void OperationCompleteQuery(Call& call);
void Reset(Call& call);
void SetServiceRequestEnable(Call& call);
void ServiceRequestEnableQuery(Call& call);
void StatusByteQuery(Call& call);
void SelfTestQuery(Call& call);
void Wait(Call& call);

// STATus and SYSTem.
void OperationEventQuery(Call& call);
void OperationConditionQuery(Call& call);
void SetOperationEnable(Call& call);
void OperationEnableQuery(Call& call);
void QuestionableEventQuery(Call& call);
void QuestionableConditionQuery(Call& call);
void SetQuestionableEnable(Call& call);
void QuestionableEnableQuery(Call& call);
void StatusPreset(Call& call);
void NextErrorQuery(Call& call);
void ErrorCountQuery(Call& call);
void VersionQuery(Call& call);
void PortQuery(Call& call);

// The supply.
void SelectRailByName(Call& call);
void RailNameQuery(Call& call);
void SelectRailByNumber(Call& call);
void RailNumberQuery(Call& call);
void SetVoltage(Call& call);
void VoltageQuery(Call& call);
void ApplyVoltage(Call& call);
void AppliedVoltageQuery(Call& call);
void SetOutput(Call& call);
void OutputQuery(Call& call);
void MeasureCurrentQuery(Call& call);
void FetchCurrentQuery(Call& call);
void SetProtectionLevel(Call& call);
void ProtectionLevelQuery(Call& call);
void SetProtectionState(Call& call);
void ProtectionStateQuery(Call& call);
void SetProtectionDelay(Call& call);
void ProtectionDelayQuery(Call& call);
void ProtectionTrippedQuery(Call& call);
void ClearProtection(Call& call);
void SetListVoltage(Call& call);
void ListVoltageQuery(Call& call);
void SetListDwell(Call& call);
void ListDwellQuery(Call& call);
void SetListCount(Call& call);
void ListCountQuery(Call& call);
void Initiate(Call& call);
void Abort(Call& call);

} // namespace pelmora::scpi
