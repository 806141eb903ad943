#include "rules/overcurrent_trip.h"
#include "scpi/handlers.h"
#include "scpi/parameter_values.h"

#include <chrono>
#include <cmath>
#include <string>

namespace pelmora::scpi {

namespace {

constexpr double kMilliPerUnit = 1000.0;

overcurrent::RailLimit& LimitOf(overcurrent::TripSettings& settings, Rail rail) {
    return rail == Rail::Positive ? settings.positive : settings.negative;
}

const Limits kLevelLimits{overcurrent::kMinLimitMa / kMilliPerUnit,
                          overcurrent::kMaxLimitMa / kMilliPerUnit,
                          overcurrent::kMaxLimitMa / kMilliPerUnit};

const Limits kDelayLimits{static_cast<double>(overcurrent::kMinBlanking.count()) / kMilliPerUnit,
                          static_cast<double>(overcurrent::kMaxBlanking.count()) / kMilliPerUnit,
                          static_cast<double>(overcurrent::kDefaultBlanking.count()) /
                              kMilliPerUnit};

// A value in amps or seconds as whole thousandths within its limits: the engine counts in mA
// and ms.
Converted<int> ThousandthsOf(const Parameter& parameter, Unit unit, const Limits& limits) {
    const auto value = DecimalValue(parameter, unit, limits);
    if (value.error != Error::None) {
        return {0, value.error};
    }
    return Thousandths(value.value, limits);
}

// MINimum or MAXimum as a query's parameter.
void AnswerBound(Call& call, const Limits& limits) {
    const auto& parameter = call.Parameters().front();
    if (IsWord(parameter, "MINimum")) {
        call.Answer(Nr3(limits.minimum));
    } else if (IsWord(parameter, "MAXimum")) {
        call.Answer(Nr3(limits.maximum));
    } else {
        call.Fail(parameter.kind == Parameter::Kind::Word ? Error::IllegalParameterValue
                                                          : Error::DataType);
    }
}

} // namespace

void SetProtectionLevel(Call& call) {
    const auto milliamps = ThousandthsOf(call.Parameters().front(), Unit::Ampere, kLevelLimits);
    if (milliamps.error != Error::None) {
        call.Fail(milliamps.error);
        return;
    }
    auto settings = call.Device().Protection();
    LimitOf(settings, call.Client().SelectedRail()).limitMa = milliamps.value;
    call.Device().SetProtection(settings);
}

void ProtectionLevelQuery(Call& call) {
    if (!call.Parameters().empty()) {
        AnswerBound(call, kLevelLimits);
        return;
    }
    const auto& settings = call.Device().Protection();
    call.Answer(Nr3(settings.Of(call.Client().SelectedRail()).limitMa / kMilliPerUnit));
}

void SetProtectionState(Call& call) {
    const auto on = BooleanValue(call.Parameters().front());
    if (on.error != Error::None) {
        call.Fail(on.error);
        return;
    }
    auto settings = call.Device().Protection();
    LimitOf(settings, call.Client().SelectedRail()).enabled = on.value;
    call.Device().SetProtection(settings);
}

void ProtectionStateQuery(Call& call) {
    const auto& settings = call.Device().Protection();
    call.Answer(settings.Of(call.Client().SelectedRail()).enabled ? "1" : "0");
}

void SetProtectionDelay(Call& call) {
    const auto milliseconds = ThousandthsOf(call.Parameters().front(), Unit::Second, kDelayLimits);
    if (milliseconds.error != Error::None) {
        call.Fail(milliseconds.error);
        return;
    }
    auto settings = call.Device().Protection();
    settings.blanking = std::chrono::milliseconds(milliseconds.value);
    call.Device().SetProtection(settings);
}

void ProtectionDelayQuery(Call& call) {
    if (!call.Parameters().empty()) {
        AnswerBound(call, kDelayLimits);
        return;
    }
    const auto blanking = call.Device().Protection().blanking;
    call.Answer(Nr3(static_cast<double>(blanking.count()) / kMilliPerUnit));
}

// Whether the latched trip is the selected rail's.
void ProtectionTrippedQuery(Call& call) {
    const auto& trip = call.Device().Trip();
    const bool tripped = trip && trip->rail == call.Client().SelectedRail();
    call.Answer(tripped ? "1" : "0");
}

// A trip latches for both rails: either rail's CLEar lets the output go on again.
void ClearProtection(Call& call) {
    call.Device().ClearTrip();
}

} // namespace pelmora::scpi
