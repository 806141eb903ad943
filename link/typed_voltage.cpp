#include "link/typed_voltage.h"

#include "link/voltage_table.h"
#include "link/whole_number.h"

namespace pelmora {

namespace {

constexpr std::string_view kListSeparator = ", ";
constexpr std::string_view kVoltUnit = "V";
constexpr int kTenthsPerVolt = 10;
// More digits than any step has: longer numbers are refused before they are read.
constexpr std::size_t kMaxWholeDigits = 3;

std::string_view StripUnit(std::string_view typed) {
    if (!typed.empty() && (typed.back() == 'V' || typed.back() == 'v')) {
        typed.remove_suffix(1);
    }
    return typed;
}

std::string_view StripSign(std::string_view typed, Rail rail) {
    const char allowed = rail == Rail::Positive ? '+' : '-';
    if (!typed.empty() && typed.front() == allowed) {
        typed.remove_prefix(1);
    }
    return typed;
}

// "1.5" as 15 tenths; empty for anything that is not a plain decimal number of whole tenths.
std::optional<int> Tenths(std::string_view number) {
    const std::size_t point = number.find('.');
    const std::string_view whole = number.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view{} : number.substr(point + 1);
    if (whole.empty() || whole.size() > kMaxWholeDigits ||
        (point != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    const auto volts = ParseWholeNumber<unsigned>(whole);
    if (!volts) {
        return std::nullopt;
    }
    int tenths = static_cast<int>(*volts) * kTenthsPerVolt;
    if (!fraction.empty()) {
        if (fraction.front() < '0' || fraction.front() > '9' ||
            fraction.substr(1).find_first_not_of('0') != std::string_view::npos) {
            return std::nullopt;
        }
        tenths += fraction.front() - '0';
    }
    return tenths;
}

} // namespace

std::optional<std::string_view> VoltageCodeOf(std::string_view typed, Rail rail) {
    const auto tenths = Tenths(StripSign(StripUnit(typed), rail));
    if (!tenths) {
        return std::nullopt;
    }
    for (const auto& step : kVoltageSteps) {
        if (ParseWholeNumber<int>(step.code) == *tenths) {
            return step.code;
        }
    }
    return std::nullopt;
}

std::optional<std::string_view> TableCodeOf(std::string_view typed) {
    for (const auto& step : kVoltageSteps) {
        if (step.code == typed) {
            return step.code;
        }
    }
    return std::nullopt;
}

std::string ValidSteps(Rail rail) {
    std::string steps;
    for (const auto& step : kVoltageSteps) {
        if (!steps.empty()) {
            steps += kListSeparator;
        }
        const std::string_view text =
            rail == Rail::Positive ? step.positiveText : step.negativeText;
        steps += text.substr(0, text.size() - kVoltUnit.size());
    }
    return steps + " " + std::string(kVoltUnit);
}

std::string ValidCodes() {
    std::string codes;
    for (const auto& step : kVoltageSteps) {
        if (!codes.empty()) {
            codes += kListSeparator;
        }
        codes += step.code;
    }
    return codes;
}

std::string_view StepText(std::string_view code, Rail rail) {
    const auto& step = kVoltageSteps[static_cast<std::size_t>(VoltageIndexOf(code))];
    return rail == Rail::Positive ? step.positiveText : step.negativeText;
}

} // namespace pelmora
