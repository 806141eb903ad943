#pragma once

#include <chrono>

// The supply's pace, which every program that talks to it keeps.
namespace pelmora::timing {

using std::chrono::milliseconds;

// How long a reply is waited for unless the user says otherwise: the supply answers well
// within 30 ms.
inline constexpr int kReplyWaitMs = 30;
// Lets a device that has just been opened settle before it is asked who it is.
inline constexpr milliseconds kSearchDelay{100};
// How often the currents are asked for while the output is on.
inline constexpr milliseconds kPollPeriod{300};

} // namespace pelmora::timing
