#include "link/voltage_table.h"

namespace pelmora {

std::string_view VoltageCodeAt(int index) {
    if (index < 0 || index >= static_cast<int>(kVoltageSteps.size())) {
        return kDefaultVoltageCode;
    }
    return kVoltageSteps[static_cast<std::size_t>(index)].code;
}

int VoltageIndexOf(std::string_view code) {
    for (std::size_t i = 0; i < kVoltageSteps.size(); ++i) {
        if (kVoltageSteps[i].code == code) {
            return static_cast<int>(i);
        }
    }
    return 0;
}

bool IsVoltageCode(std::string_view code) {
    for (const auto& step : kVoltageSteps) {
        if (step.code == code) {
            return true;
        }
    }
    return false;
}

} // namespace pelmora
