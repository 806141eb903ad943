#include "link/local_time.h"

namespace pelmora {

std::optional<LocalCalendarTime> ToLocalCalendarTime(std::time_t when) {
    LocalCalendarTime local;
    if (::localtime_r(&when, &local.calendar) == nullptr) {
        return std::nullopt;
    }
    local.utcOffsetSeconds = local.calendar.tm_gmtoff;
    return local;
}

} // namespace pelmora
