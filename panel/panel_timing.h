#pragma once

#include <chrono>

// Pauses and periods of the panel's dealings with the supply.
namespace pelmora::timing {

using std::chrono::milliseconds;

// What the wait box holds from start-up on: the supply answers well within 30 ms.
inline constexpr const char* kHostWaitText = "30";
// Lets a device that has just been opened settle before it is asked who it is.
inline constexpr milliseconds kSearchDelay{100};
// Between the search and the reset at start-up.
inline constexpr milliseconds kStartupPause{100};
// Around closing the port when the panel ends, so the reset is out before the port goes.
inline constexpr milliseconds kClosingPause{100};
inline constexpr milliseconds kPollPeriod{300};
// How often the ports are looked at while no supply is connected.
inline constexpr milliseconds kWatchPeriod{1000};

} // namespace pelmora::timing
