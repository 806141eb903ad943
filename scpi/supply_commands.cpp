#include "link/decimal_reading.h"
#include "link/voltage_table.h"
#include "rules/voltage_sequence.h"
#include "scpi/handlers.h"
#include "scpi/parameter_values.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
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
        return call.Client().SelectedRail();
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

// A program's steps are the supply's own: the host applies them, and a session's changes
// would be undone at the next step.
bool RefusedWhileRunning(Call& call) {
    if (!call.Device().ProgramRunning()) {
        return false;
    }
    call.Fail(Error::SettingsConflict);
    return true;
}

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr int kFewestPasses = 1;
// MAXimum is the most passes that can be counted; INFinity is another thing: no end at all.
constexpr int kMostPasses = std::numeric_limits<int>::max();
// SCPI-99's value for INFinity.
constexpr double kInfinityAnswer = 9.9e37;

const Limits kDwellLimits{static_cast<double>(kMinDwell.count()) / kMillisecondsPerSecond,
                          static_cast<double>(std::chrono::milliseconds(kMaxDwell).count()) /
                              kMillisecondsPerSecond,
                          static_cast<double>(kMinDwell.count()) / kMillisecondsPerSecond};

std::vector<int>& ListOf(ListSettings& list, Rail rail) {
    return rail == Rail::Positive ? list.positiveSteps : list.negativeSteps;
}

template <typename T, typename Format>
std::string Joined(const std::vector<T>& values, Format format) {
    std::string text;
    for (const auto& value : values) {
        if (!text.empty()) {
            text.push_back(',');
        }
        text += format(value);
    }
    return text;
}

// The steps INITiate runs, or the error that stops it: a one-element list holds for every
// step, a rail without a list keeps its present voltage, and longer lists must agree.
Converted<std::vector<ProgramStep>> ProgramOf(const ListSettings& list,
                                              const SupplySettings& present) {
    if (list.dwells.empty() || (list.positiveSteps.empty() && list.negativeSteps.empty())) {
        return {{}, Error::SettingsConflict};
    }
    std::size_t length = 1;
    for (const std::size_t size :
         {list.positiveSteps.size(), list.negativeSteps.size(), list.dwells.size()}) {
        if (size > 1) {
            if (length > 1 && size != length) {
                return {{}, Error::SettingsConflict};
            }
            length = size;
        }
    }
    const auto at = [](const auto& values, std::size_t index, auto otherwise) {
        if (values.empty()) {
            return otherwise;
        }
        return values.size() == 1 ? values.front() : values[index];
    };
    std::vector<ProgramStep> steps;
    for (std::size_t index = 0; index < length; ++index) {
        steps.push_back({at(list.positiveSteps, index, present.positiveStep),
                         at(list.negativeSteps, index, present.negativeStep),
                         at(list.dwells, index, std::chrono::milliseconds{})});
    }
    return {std::move(steps), Error::None};
}

} // namespace

void SelectRailByName(Call& call) {
    const auto rail = RailNamed(call.Parameters().front());
    if (!rail) {
        call.Fail(RailNameError(call.Parameters().front()));
        return;
    }
    call.Client().SelectRail(*rail);
}

void RailNameQuery(Call& call) {
    const bool positive = call.Client().SelectedRail() == Rail::Positive;
    call.Answer(std::string(positive ? kPositiveAnswer : kNegativeAnswer));
}

void SelectRailByNumber(Call& call) {
    const auto number = WholeValue(call.Parameters().front(), kFirstRailNumber, kLastRailNumber);
    if (number.error != Error::None) {
        call.Fail(number.error);
        return;
    }
    call.Client().SelectRail(RailOfNumber(number.value));
}

void RailNumberQuery(Call& call) {
    call.Answer(std::to_string(RailNumber(call.Client().SelectedRail())));
}

void SetVoltage(Call& call) {
    if (RefusedWhileRunning(call)) {
        return;
    }
    const Rail rail = call.Client().SelectedRail();
    const auto step = StepOf(rail, call.Parameters().front());
    if (step.error != Error::None) {
        call.Fail(step.error);
        return;
    }
    SetStep(call.Draft(), rail, step.value);
}

void VoltageQuery(Call& call) {
    const Rail rail = call.Client().SelectedRail();
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
    if (RefusedWhileRunning(call)) {
        return;
    }
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
    if (!on.value) {
        // Off always wins: a running program ends as ABORt ends it, and the output is off.
        if (call.Device().ProgramRunning() || call.Resumed()) {
            const ActionResult* stopped = call.Exchange(StopProgramAction{});
            if (!stopped) {
                return;
            }
            if (const Error error = ErrorOf(stopped->outcome); error != Error::None) {
                call.Fail(error);
                return;
            }
        }
        call.Draft().outputOn = false;
        return;
    }
    if (RefusedWhileRunning(call)) {
        return;
    }
    // The host has lost the supply: it cannot be switched on, and a later return must not
    // switch it on by surprise.
    if (call.Device().SupplyAbsent()) {
        call.Fail(Error::SettingsConflict);
        return;
    }
    // A trip keeps the output off until it is cleared.
    if (call.Device().Trip()) {
        call.Fail(Error::SettingsConflict);
        return;
    }
    call.Draft().outputOn = true;
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

void SetListVoltage(Call& call) {
    const Rail rail = call.Client().SelectedRail();
    std::vector<int> steps;
    for (const auto& parameter : call.Parameters()) {
        const auto step = StepOf(rail, parameter);
        if (step.error != Error::None) {
            call.Fail(step.error);
            return;
        }
        steps.push_back(step.value);
    }
    ListOf(call.Device().List(), rail) = std::move(steps);
}

void ListVoltageQuery(Call& call) {
    const Rail rail = call.Client().SelectedRail();
    call.Answer(Joined(ListOf(call.Device().List(), rail),
                       [rail](int step) { return Nr3(Signed(rail, StepVolts(step))); }));
}

void SetListDwell(Call& call) {
    std::vector<std::chrono::milliseconds> dwells;
    for (const auto& parameter : call.Parameters()) {
        const auto seconds = DecimalValue(parameter, Unit::Second, kDwellLimits);
        if (seconds.error != Error::None) {
            call.Fail(seconds.error);
            return;
        }
        const auto milliseconds = Thousandths(seconds.value, kDwellLimits);
        if (milliseconds.error != Error::None) {
            call.Fail(milliseconds.error);
            return;
        }
        dwells.emplace_back(milliseconds.value);
    }
    call.Device().List().dwells = std::move(dwells);
}

void ListDwellQuery(Call& call) {
    call.Answer(Joined(call.Device().List().dwells, [](std::chrono::milliseconds dwell) {
        return Nr3(static_cast<double>(dwell.count()) / kMillisecondsPerSecond);
    }));
}

void SetListCount(Call& call) {
    const auto& parameter = call.Parameters().front();
    if (IsWord(parameter, "INFinity")) {
        call.Device().List().count.reset();
        return;
    }
    const auto count = WholeValue(parameter, kFewestPasses, kMostPasses);
    if (count.error != Error::None) {
        call.Fail(count.error);
        return;
    }
    call.Device().List().count = static_cast<std::size_t>(count.value);
}

void ListCountQuery(Call& call) {
    const auto& count = call.Device().List().count;
    call.Answer(count ? std::to_string(*count) : Nr3(kInfinityAnswer));
}

void Initiate(Call& call) {
    if (const ActionResult* started = call.Resumed()) {
        if (const Error error = ErrorOf(started->outcome); error != Error::None) {
            call.Fail(error);
        }
        return;
    }
    auto& device = call.Device();
    if (device.ProgramRunning()) {
        call.Fail(Error::InitIgnored);
        return;
    }
    if (device.SupplyAbsent()) {
        call.Fail(Error::HardwareMissing);
        return;
    }
    if (device.Trip()) {
        call.Fail(Error::SettingsConflict);
        return;
    }
    auto program = ProgramOf(device.List(), call.Settings());
    if (program.error != Error::None) {
        call.Fail(program.error);
        return;
    }
    call.Exchange(RunProgramAction{std::move(program.value), device.List().count});
}

void Abort(Call& call) {
    if (!call.Device().ProgramRunning() && !call.Resumed()) {
        return;
    }
    const ActionResult* stopped = call.Exchange(StopProgramAction{});
    if (!stopped) {
        return;
    }
    if (const Error error = ErrorOf(stopped->outcome); error != Error::None) {
        call.Fail(error);
    }
}

} // namespace pelmora::scpi
