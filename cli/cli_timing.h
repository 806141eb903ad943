#pragma once

#include <chrono>

// Waits and periods of pelmora-cli's dealings with the supply.
namespace pelmora::cli::timing {

using std::chrono::milliseconds;

// The live status line is redrawn at most this often, however fast the samples come.
inline constexpr milliseconds kStatusRefresh{100};
// How soon serve sees a stop signal.
inline constexpr milliseconds kStopCheck{100};

} // namespace pelmora::cli::timing
