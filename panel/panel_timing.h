#pragma once

#include "link/supply_timing.h"

#include <chrono>

// Pauses and periods of the panel's dealings with the supply.
namespace pelmora::timing {

using std::chrono::milliseconds;

// Between the search and the reset at start-up.
inline constexpr milliseconds kStartupPause{100};
// Around closing the port when the panel ends, so the reset is out before the port goes.
inline constexpr milliseconds kClosingPause{100};
// How often the ports are looked at while no supply is connected.
inline constexpr milliseconds kWatchPeriod{1000};

} // namespace pelmora::timing
