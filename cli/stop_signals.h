#pragma once

#include <chrono>

namespace pelmora::cli {

// While it lives, a signal that would end the process without a core dump (interrupt, terminate,
// hang-up, the user signals, the timers' alarms, and the like; on Windows: Ctrl+C, Ctrl+Break,
// the console closing, the user logging off, the system shutting down) does not end it but asks
// it to stop, so that it can switch the supply off and leave its files whole first. A
// closed pipe on the output no longer kills the process either: writing to it fails instead.
// One per process.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool StopRequested() const;
    // The name of the signal that asked, e.g. "SIGUSR1" or "Ctrl+C"; empty while none has.
    const char* SignalName() const;
    // Sleeps for `period` unless a stop is asked for meanwhile; false when one is.
    bool SleepFor(std::chrono::milliseconds period) const;
};

} // namespace pelmora::cli
