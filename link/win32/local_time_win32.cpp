#include "link/local_time.h"

#include <time.h>

namespace pelmora {

std::optional<LocalCalendarTime> ToLocalCalendarTime(std::time_t when) {
    LocalCalendarTime local;
    if (::localtime_s(&local.calendar, &when) != 0) {
        return std::nullopt;
    }
    // The C library has no field for the offset: reading the local calendar fields as if they
    // were UTC gives it, daylight saving time included.
    std::tm asUtc = local.calendar;
    const std::time_t shifted = ::_mkgmtime(&asUtc);
    if (shifted == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    local.utcOffsetSeconds = static_cast<long>(shifted - when);
    return local;
}

} // namespace pelmora
