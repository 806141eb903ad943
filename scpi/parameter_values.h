#pragma once

#include "scpi/errors.h"
#include "scpi/program_unit.h"

#include <optional>
#include <string>
#include <string_view>

// What a command makes of its parameters, and how answers are written. Every conversion either
// gives a value or the error to report, never a guess.
namespace pelmora::scpi {

enum class Unit { Volt, Ampere, Second };

// The values MIN, MAX and DEF stand for, in the parameter's unit.
struct Limits {
    double minimum = 0.0;
    double maximum = 0.0;
    double preset = 0.0;
};

template <typename T> struct Converted {
    T value{};
    Error error = Error::None;
};

// A decimal value in `unit`'s base (volts, amps, seconds): a number with an optional suffix
// ("500 MV", "0.1A") or MINimum, MAXimum, DEFault, INFinity, NINF. Range checks are the
// caller's: only it knows which error a value outside its range deserves.
Converted<double> DecimalValue(const Parameter& parameter, Unit unit, const Limits& limits);

// A value in a unit's base (amps, seconds) as whole thousandths of it (mA, ms): outside
// [minimum, maximum] it is -222, and between thousandths -224, as a voltage between steps is.
// Nothing is rounded into range or onto the grid: 0.0005 A is no 1 mA limit.
Converted<int> Thousandths(double value, const Limits& limits);

// A whole number without suffix, rounded to the nearest as IEEE 488.2 asks, within
// [minimum, maximum] (else -222); MINimum, MAXimum and DEFault (the minimum) stand for those.
Converted<int> WholeValue(const Parameter& parameter, int minimum, int maximum);

// ON, OFF, 1 or 0.
Converted<bool> BooleanValue(const Parameter& parameter);

// True when the parameter is character data naming `mnemonic` in its short or long form.
bool IsWord(const Parameter& parameter, std::string_view mnemonic);

// NR3, as the common bench supplies answer: "1.23000E-01", "-3.50000E+00".
std::string Nr3(double value);
// A string reply, quoted, with quotes inside doubled.
std::string Quoted(std::string_view text);

} // namespace pelmora::scpi
