#pragma once

#include "link/rail.h"

#include <optional>
#include <string>
#include <string_view>

// Voltages as a user types them (command line, sequence files), turned into the table's codes.
namespace pelmora {

// The code of a voltage typed as the rail's list offers it: "5", "5V", "1.5", "1.5V" (a "v"
// will do, and "5.0" is 5 V). The negative rail also takes a minus sign ("-5", "-5V"); the
// positive one a plus sign. Empty when the voltage is no step of the table.
std::optional<std::string_view> VoltageCodeOf(std::string_view typed, Rail rail);

// A code typed as such ("050"); empty when the table has no such code.
std::optional<std::string_view> TableCodeOf(std::string_view typed);

// "1, 1.5, 2, ... 13 V", or "-1, -1.5, ... -13 V" for the negative rail.
std::string ValidSteps(Rail rail);
// "010, 015, ... 130".
std::string ValidCodes();

// The list text of a code for the rail, e.g. "-12V".
std::string_view StepText(std::string_view code, Rail rail);

} // namespace pelmora
