#pragma once

#include "cli/status_line.h"
#include "cli/stop_signals.h"
#include "link/supply_protocol.h"
#include "rules/supply_controller.h"

#include <chrono>
#include <functional>
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
    // The port went away, or the server that holds it.
    PortLost,
    // A poll failed under stopOnError.
    StoppedOnError,
    // The rows could not be written.
    OutputFailed,
    // The over-current protection tripped on the last sample.
    Tripped,
};

struct MonitorResult {
    MonitorEnd end = MonitorEnd::Planned;
    long long samples = 0;
    long long failures = 0;
    // For every end but Planned and Interrupted: what went wrong, as one line.
    std::string problem;
};

// One poll of both currents, on the port or through a server.
struct PolledCurrents {
    // Empty when the poll failed.
    std::optional<protocol::CurrentReading> reading;
    // Why it failed, as one line.
    std::string problem;
    // The supply can no longer be reached this way.
    bool lost = false;
    // The over-current protection tripped on this sample and has dealt with the output.
    bool tripped = false;
    // The present average, since the output went on or its voltages changed.
    std::optional<protocol::CurrentReading> average;
    // A running program ended on this sample (a trip, a silent or lost supply).
    std::optional<ProgramEnd> programEnded;
};

using CurrentPoller = std::function<PolledCurrents()>;

// Polls the supply's currents as planned and writes the CSV recording: the header, then one
// complete row per poll, flushed as it is written. A failed poll makes a row with empty
// readings and the run goes on. A sample that tripped the protection is recorded and ends the
// run. Leaves the supply's output as it is.
MonitorResult RunMonitor(const CurrentPoller& poll, const MonitorPlan& plan, std::ostream& csv,
                         StatusLine& status, bool quiet, const StopSignals& stop);

} // namespace pelmora::cli
