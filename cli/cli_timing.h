#pragma once

#include <chrono>

// Waits and periods of pelmora-cli's dealings with the supply.
namespace pelmora::cli::timing {

using std::chrono::milliseconds;

// How long a reply may take unless --wait says otherwise: the supply answers well within it.
inline constexpr int kDefaultWaitMs = 30;
// A device that has just been opened settles this long before it is asked who it is, as the
// panel's search lets it.
inline constexpr milliseconds kSettleAfterOpen{100};
// The panel's polling period, and monitor's unless --interval says otherwise.
inline constexpr int kDefaultIntervalMs = 300;
// The live status line is redrawn at most this often, however fast the samples come.
inline constexpr milliseconds kStatusRefresh{100};

} // namespace pelmora::cli::timing
