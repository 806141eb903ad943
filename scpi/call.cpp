#include "scpi/call.h"

namespace pelmora::scpi {

SupplySettings LineDraft::Over(const SupplySettings& settings) const {
    return {outputOn.value_or(settings.outputOn), positiveStep.value_or(settings.positiveStep),
            negativeStep.value_or(settings.negativeStep)};
}

void Call::Fail(Error error) {
    m_failure = error;
    m_client.Report(error);
}

const ActionResult* Call::Exchange(const SupplyAction& action) {
    if (m_result) {
        return &*m_result;
    }
    m_request = action;
    return nullptr;
}

Error ErrorOf(ActionResult::Outcome outcome) {
    switch (outcome) {
    case ActionResult::Outcome::Done:
        return Error::None;
    case ActionResult::Outcome::NoAnswer:
        return Error::HardwareError;
    case ActionResult::Outcome::Gone:
        return Error::HardwareMissing;
    case ActionResult::Outcome::Refused:
        return Error::SettingsConflict;
    }
    return Error::HardwareError;
}

} // namespace pelmora::scpi
