#include "decimal_reading.h"
#include "handlers.h"
#include "parameter_values.h"
#include "voltage_table.h"

#include <cmath>
#include <optional>
#include <string>

namespace pelmora::scpi {

namespace {

constexpr double kTenthsPerVolt = 10.0;
constexpr double kMilliampsPerAmp = 1000.0;
// A value this close to a step is that step: "3.5", "3500 MV" and "3.50000E+00" all are.
constexpr double kStepTolerance = 1e-6;
constexpr std::string_view kPositiveName = "POSitive";
constexpr std::string_view kNegativeName = "NEGative";
constexpr std::string_view kPositiveAnswer = "POS";
constexpr std::string_view kNegativeAnswer = "NEG";
constexpr int kFirstRail = 1;
constexpr int kLastRail = 2;

double StepVolts(int step) {
    return DecimalReading(VoltageCodeAt(step)) / kTenthsPerVolt;
}

constexpr int kLastStep = static_cast<int>(kVoltageSteps.size()) - 1;

// The negative rail speaks in negative volts; its MIN and MAX go by magnitude.
double Signed(Rail rail, double magnitude) {
    return rail == Rail::Negative ? -magnitude : magnitude;
}

Limits VoltageLimits(Rail rail) {
    return {Signed(rail, StepVolts(0)), Signed(rail, StepVolts(kLastStep)),
            Signed(rail, StepVolts(0))};
}

// The step a voltage parameter names on `rail`: out of range is -222, between steps -224.
Converted<int> StepOf(Rail rail, const Parameter& parameter) {
    const auto volts = DecimalValue(parameter, Unit::Volt, VoltageLimits(rail));
    if (volts.error != Error::None) {
        return {0, volts.error};
    }
    const double magnitude = rail == Rail::Negative ? -volts.value : volts.value;
    if (!(magnitude >= StepVolts(0) && magnitude <= StepVolts(kLastStep))) {
        return {0, Error::DataOutOfRange};
    }
    for (int step = 0; step <= kLastStep; ++step) {
        if (std::fabs(StepVolts(step) - magnitude) < kStepTolerance) {
            return {step, Error::None};
        }
    }
    return {0, Error::IllegalParameterValue};
}

int StepOn(Rail rail, const SupplySettings& settings) {
    return rail == Rail::Positive ? settings.positiveStep : settings.negativeStep;
}

void SetStep(LineDraft& draft, Rail rail, int step) {
    (rail == Rail::Positive ? draft.positiveStep : draft.negativeStep) = step;
}

std::optional<Rail> RailNamed(const Parameter& parameter) {
    if (IsWord(parameter, kPositiveName)) {
        return Rail::Positive;
    }
    if (IsWord(parameter, kNegativeName)) {
        return Rail::Negative;
    }
    return std::nullopt;
}

Error RailNameError(const Parameter& parameter) {
    return parameter.kind == Parameter::Kind::Word ? Error::IllegalParameterValue : Error::DataType;
}

// The rail an optional parameter names, the selected one without it.
std::optional<Rail> RailArgument(Call& call) {
    if (call.Parameters().empty()) {
        return call.Device().SelectedRail();
    }
    const auto rail = RailNamed(call.Parameters().front());
    if (!rail) {
        call.Fail(RailNameError(call.Parameters().front()));
    }
    return rail;
}

std::string Amps(double milliamps) {
    return Nr3(milliamps / kMilliampsPerAmp);
}

int MilliampsOn(Rail rail, const protocol::CurrentReading& reading) {
    return rail == Rail::Positive ? reading.positiveMa : reading.negativeMa;
}

} // namespace

void SelectRailByName(Call& call) {
    const auto rail = RailNamed(call.Parameters().front());
    if (!rail) {
        call.Fail(RailNameError(call.Parameters().front()));
        return;
    }
    call.Device().SelectRail(*rail);
}

void RailNameQuery(Call& call) {
    const bool positive = call.Device().SelectedRail() == Rail::Positive;
    call.Answer(std::string(positive ? kPositiveAnswer : kNegativeAnswer));
}

void SelectRailByNumber(Call& call) {
    const auto number = WholeValue(call.Parameters().front(), kFirstRail, kLastRail);
    if (number.error != Error::None) {
        call.Fail(number.error);
        return;
    }
    call.Device().SelectRail(static_cast<Rail>(number.value));
}

void RailNumberQuery(Call& call) {
    call.Answer(std::to_string(static_cast<int>(call.Device().SelectedRail())));
}

void SetVoltage(Call& call) {
    const Rail rail = call.Device().SelectedRail();
    const auto step = StepOf(rail, call.Parameters().front());
    if (step.error != Error::None) {
        call.Fail(step.error);
        return;
    }
    SetStep(call.Draft(), rail, step.value);
}

void VoltageQuery(Call& call) {
    const Rail rail = call.Device().SelectedRail();
    if (call.Parameters().empty()) {
        call.Answer(Nr3(Signed(rail, StepVolts(StepOn(rail, call.Settings())))));
        return;
    }
    const auto& parameter = call.Parameters().front();
    const auto limits = VoltageLimits(rail);
    if (IsWord(parameter, "MINimum")) {
        call.Answer(Nr3(limits.minimum));
    } else if (IsWord(parameter, "MAXimum")) {
        call.Answer(Nr3(limits.maximum));
    } else {
        call.Fail(RailNameError(parameter));
    }
}

void ApplyVoltage(Call& call) {
    const auto& parameters = call.Parameters();
    const auto rail = RailNamed(parameters[0]);
    if (!rail) {
        call.Fail(RailNameError(parameters[0]));
        return;
    }
    const auto step = StepOf(*rail, parameters[1]);
    if (step.error != Error::None) {
        call.Fail(step.error);
        return;
    }
    // Drivers for supplies with a current limit send one; this supply has none to set, but a
    // malformed one is still an error.
    if (parameters.size() > 2) {
        const auto current = DecimalValue(parameters[2], Unit::Ampere, {});
        if (current.error != Error::None) {
            call.Fail(current.error);
            return;
        }
    }
    SetStep(call.Draft(), *rail, step.value);
}

void AppliedVoltageQuery(Call& call) {
    const auto rail = RailNamed(call.Parameters().front());
    if (!rail) {
        call.Fail(RailNameError(call.Parameters().front()));
        return;
    }
    call.Answer(Nr3(Signed(*rail, StepVolts(StepOn(*rail, call.Settings())))));
}

void SetOutput(Call& call) {
    const auto on = BooleanValue(call.Parameters().front());
    if (on.error != Error::None) {
        call.Fail(on.error);
        return;
    }
    // The host has lost the supply: it cannot be switched on, and a later return must not
    // switch it on by surprise.
    if (on.value && call.Device().SupplyAbsent()) {
        call.Fail(Error::SettingsConflict);
        return;
    }
    // A trip keeps the output off until it is cleared.
    if (on.value && call.Device().Trip()) {
        call.Fail(Error::SettingsConflict);
        return;
    }
    call.Draft().outputOn = on.value;
}

void OutputQuery(Call& call) {
    call.Answer(call.Settings().outputOn ? "1" : "0");
}

void MeasureCurrentQuery(Call& call) {
    const auto rail = RailArgument(call);
    if (!rail) {
        return;
    }
    const ActionResult* result = call.Exchange(MeasureAction{});
    if (!result) {
        return;
    }
    if (const Error error = ErrorOf(result->outcome); error != Error::None) {
        call.Fail(error);
        return;
    }
    call.Answer(Amps(MilliampsOn(*rail, result->reading)));
}

void FetchCurrentQuery(Call& call) {
    const auto rail = RailArgument(call);
    if (!rail) {
        return;
    }
    if (const ActionResult* waited = call.Resumed()) {
        if (const Error error = ErrorOf(waited->outcome); error != Error::None) {
            call.Fail(error);
            return;
        }
    }
    // With the output off no current flows, whatever the last samples were.
    if (!call.Settings().outputOn) {
        call.Answer(Amps(0.0));
        return;
    }
    if (const auto average = call.Device().AverageMilliamps(*rail)) {
        call.Answer(Amps(*average));
        return;
    }
    // Nothing sampled since the output went on: the next poll's sample is the answer.
    if (!call.Exchange(SampleAction{})) {
        return;
    }
    call.Fail(Error::DataCorruptOrStale);
}

} // namespace pelmora::scpi
