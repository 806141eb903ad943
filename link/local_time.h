#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

namespace pelmora {

// A moment on the local clock: the calendar fields and how far local time is ahead of UTC.
struct LocalCalendarTime {
    std::tm calendar{};
    long utcOffsetSeconds = 0;
};

// The local calendar time of `when` under the system's time zone; empty when the system
// cannot tell it.
std::optional<LocalCalendarTime> ToLocalCalendarTime(std::time_t when);

// ISO 8601 local time with milliseconds and a numeric offset, e.g.
// "2026-12-08T14:03:07.250+09:00" ("+00:00" in UTC, never "Z"). Milliseconds are truncated.
std::string FormatLocalTimestamp(std::chrono::system_clock::time_point when);

} // namespace pelmora
