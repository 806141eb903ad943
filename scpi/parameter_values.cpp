#include "scpi/parameter_values.h"

#include "scpi/header_pattern.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

namespace pelmora::scpi {

namespace {

constexpr int kNr3Digits = 5;
constexpr double kThousand = 1000.0;
// How far from a whole thousandth a value may lie and still be that thousandth: "0.3",
// "300 MS" and "3.00000E-01" all are 300 ms, whatever binary fractions make of them.
constexpr double kGridTolerance = 1e-6;

struct Multiplier {
    std::string_view prefix;
    double factor;
};

// "M" is milli here as in every SCPI unit suffix; the one unit that would clash (mega-ohm)
// the supply does not have.
constexpr std::array<Multiplier, 4> kMultipliers = {{
    {"", 1.0},
    {"M", 1e-3},
    {"U", 1e-6},
    {"K", 1e3},
}};

std::string_view SymbolOf(Unit unit) {
    switch (unit) {
    case Unit::Volt:
        return "V";
    case Unit::Ampere:
        return "A";
    case Unit::Second:
        return "S";
    }
    return {};
}

std::optional<double> SuffixFactor(std::string_view suffix, Unit unit) {
    if (suffix.empty()) {
        return 1.0;
    }
    const auto symbol = SymbolOf(unit);
    if (!suffix.ends_with(symbol)) {
        return std::nullopt;
    }
    suffix.remove_suffix(symbol.size());
    for (const auto& multiplier : kMultipliers) {
        if (suffix == multiplier.prefix) {
            return multiplier.factor;
        }
    }
    return std::nullopt;
}

} // namespace

bool IsWord(const Parameter& parameter, std::string_view mnemonic) {
    return parameter.kind == Parameter::Kind::Word && IsFormOf(parameter.text, mnemonic);
}

Converted<double> DecimalValue(const Parameter& parameter, Unit unit, const Limits& limits) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    switch (parameter.kind) {
    case Parameter::Kind::Text:
        return {0.0, Error::DataType};
    case Parameter::Kind::Word: {
        const std::array<std::pair<std::string_view, double>, 5> keywords = {{
            {"MINimum", limits.minimum},
            {"MAXimum", limits.maximum},
            {"DEFault", limits.preset},
            {"INFinity", kInfinity},
            {"NINF", -kInfinity},
        }};
        for (const auto& [mnemonic, value] : keywords) {
            if (IsWord(parameter, mnemonic)) {
                return {value, Error::None};
            }
        }
        return {0.0, Error::IllegalParameterValue};
    }
    case Parameter::Kind::Number:
        break;
    }
    const auto factor = SuffixFactor(parameter.text, unit);
    if (!factor) {
        return {0.0, Error::InvalidSuffix};
    }
    return {parameter.number * *factor, Error::None};
}

Converted<int> Thousandths(double value, const Limits& limits) {
    if (!(value >= limits.minimum && value <= limits.maximum)) {
        return {0, Error::DataOutOfRange};
    }
    const double scaled = value * kThousand;
    const double whole = std::round(scaled);
    if (std::fabs(scaled - whole) > kGridTolerance) {
        return {0, Error::IllegalParameterValue};
    }
    return {static_cast<int>(whole), Error::None};
}

Converted<int> WholeValue(const Parameter& parameter, int minimum, int maximum) {
    if (parameter.kind == Parameter::Kind::Text) {
        return {0, Error::DataType};
    }
    if (IsWord(parameter, "MINimum") || IsWord(parameter, "DEFault")) {
        return {minimum, Error::None};
    }
    if (IsWord(parameter, "MAXimum")) {
        return {maximum, Error::None};
    }
    if (parameter.kind == Parameter::Kind::Word) {
        return {0, Error::IllegalParameterValue};
    }
    if (!parameter.text.empty()) {
        return {0, Error::InvalidSuffix};
    }
    const double rounded = std::round(parameter.number);
    if (!(rounded >= minimum && rounded <= maximum)) {
        return {0, Error::DataOutOfRange};
    }
    return {static_cast<int>(rounded), Error::None};
}

Converted<bool> BooleanValue(const Parameter& parameter) {
    if (IsWord(parameter, "ON")) {
        return {true, Error::None};
    }
    if (IsWord(parameter, "OFF")) {
        return {false, Error::None};
    }
    if (parameter.kind == Parameter::Kind::Number && parameter.text.empty() &&
        (parameter.number == 0.0 || parameter.number == 1.0)) {
        return {parameter.number == 1.0, Error::None};
    }
    return {false, parameter.kind == Parameter::Kind::Text ? Error::DataType
                                                           : Error::IllegalParameterValue};
}

std::string Nr3(double value) {
    std::array<char, 32> buffer{};
    const auto [end, status] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                             std::chars_format::scientific, kNr3Digits);
    std::string text(buffer.data(), status == std::errc{} ? end : buffer.data());
    for (char& byte : text) {
        if (byte == 'e') {
            byte = 'E';
        }
    }
    return text;
}

std::string Quoted(std::string_view text) {
    std::string quoted = "\"";
    for (const char byte : text) {
        quoted.push_back(byte);
        if (byte == '"') {
            quoted.push_back(byte);
        }
    }
    quoted.push_back('"');
    return quoted;
}

} // namespace pelmora::scpi
