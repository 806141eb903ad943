#pragma once

#include <array>
#include <string_view>

// The sixteen voltage steps a rail can take, in the order both lists offer them: the list
// position of an entry is its row here. A code is the magnitude in tenths of a volt; the
// negative rail sends the same codes and carries its minus sign only in the list text.
namespace pelmora {

struct VoltageStep {
    std::string_view code;
    std::string_view positiveText;
    std::string_view negativeText;
};

inline constexpr std::array<VoltageStep, 16> kVoltageSteps = {{
    {"010", "1V", "-1V"},
    {"015", "1.5V", "-1.5V"},
    {"020", "2V", "-2V"},
    {"025", "2.5V", "-2.5V"},
    {"030", "3V", "-3V"},
    {"035", "3.5V", "-3.5V"},
    {"040", "4V", "-4V"},
    {"050", "5V", "-5V"},
    {"060", "6V", "-6V"},
    {"070", "7V", "-7V"},
    {"080", "8V", "-8V"},
    {"090", "9V", "-9V"},
    {"100", "10V", "-10V"},
    {"110", "11V", "-11V"},
    {"120", "12V", "-12V"},
    {"130", "13V", "-13V"},
}};

// Both rails start here, and a list without a selection stands for it.
inline constexpr std::string_view kDefaultVoltageCode = "010";

// The code of list position `index`; any position outside the table gives the default code.
std::string_view VoltageCodeAt(int index);

// The first position whose code equals `code` exactly; 0 when none does.
int VoltageIndexOf(std::string_view code);

bool IsVoltageCode(std::string_view code);

} // namespace pelmora
