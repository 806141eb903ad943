#pragma once

#include <chrono>

// The server's own waits and periods, beside the supply's pace that every program keeps.
namespace pelmora::server::timing {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A supply that went away is looked for this often, as the panel does.
inline constexpr milliseconds kLookAgainPeriod{1000};
// A failed accept (no descriptors left, say) is tried again after this pause, not in a loop.
inline constexpr milliseconds kAcceptRetry{100};
// When every place is taken, a client that has sent nothing and been sent nothing for this long
// gives way to a new one: a machine gone from the network must not keep everyone out.
inline constexpr seconds kIdleBeforeGivingWay{2};
// How long a parting line and the client's last bytes may take before the connection is closed
// anyway.
inline constexpr milliseconds kFarewellBound{2000};
// TCP keepalive: a peer that stops answering is found dead after the idle time and the probes,
// two minutes in all.
inline constexpr seconds kKeepAliveIdle{60};
inline constexpr seconds kKeepAliveInterval{6};
inline constexpr int kKeepAliveProbes = 10;

} // namespace pelmora::server::timing
