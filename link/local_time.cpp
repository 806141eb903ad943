#include "link/local_time.h"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace pelmora {

namespace {

constexpr const char* kCalendarFormat = "%Y-%m-%dT%H:%M:%S";
// "YYYY-MM-DDTHH:MM:SS" with room for years of more digits.
constexpr std::size_t kCalendarCapacity = 32;
// ".mmm+HH:MM", with room for whatever numbers a broken time zone gives.
constexpr std::size_t kTailCapacity = 48;
constexpr long kSecondsPerMinute = 60;
constexpr long kMinutesPerHour = 60;
// What is written when the system cannot tell local time.
constexpr const char* kUnknownTime = "unknown-time";

} // namespace

std::string FormatLocalTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(when);
    const auto milliseconds = duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const auto local = ToLocalCalendarTime(system_clock::to_time_t(seconds));
    std::array<char, kCalendarCapacity> calendar{};
    if (!local ||
        std::strftime(calendar.data(), calendar.size(), kCalendarFormat, &local->calendar) == 0) {
        return kUnknownTime;
    }
    // strftime's %z has no colon, and ISO 8601's extended form wants one.
    const long offsetMinutes = std::labs(local->utcOffsetSeconds) / kSecondsPerMinute;
    std::array<char, kTailCapacity> tail{};
    std::snprintf(tail.data(), tail.size(), ".%03d%c%02ld:%02ld", static_cast<int>(milliseconds),
                  local->utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / kMinutesPerHour,
                  offsetMinutes % kMinutesPerHour);
    return std::string(calendar.data()) + tail.data();
}

} // namespace pelmora
