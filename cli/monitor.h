#pragma once

#include "status_line.h"
#include "stop_signals.h"
#include "supply_line.h"

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

namespace pelmora::cli {

struct MonitorPlan {
    // From the start of one sample to the start of the next; 0 for back to back.
    std::chrono::milliseconds interval{0};
    // A planned end: after this long, or after this many samples.
    std::optional<std::chrono::milliseconds> duration;
    std::optional<long long> samples;
    // A failed poll ends the run instead of making a row with empty readings.
    bool stopOnError = false;
};

enum class MonitorEnd {
    // The duration or the number of samples was reached.
    Planned,
    // A stop signal came.
    Interrupted,
    // The port went away.
    PortLost,
    // A poll failed under stopOnError.
    StoppedOnError,
    // The rows could not be written.
    OutputFailed,
};

struct MonitorResult {
    MonitorEnd end = MonitorEnd::Planned;
    long long samples = 0;
    long long failures = 0;
    // For every end but Planned and Interrupted: what went wrong, as one line.
    std::string problem;
};

// Polls the supply's currents as planned and writes the CSV recording: the header, then one
// complete row per poll, flushed as it is written. A failed poll makes a row with empty
// readings and the run goes on. Leaves the supply's output as it is.
MonitorResult RunMonitor(SupplyLine& line, const MonitorPlan& plan, std::ostream& csv,
                         StatusLine& status, bool quiet, const StopSignals& stop);

} // namespace pelmora::cli
