#include "cli/monitor.h"

#include "rules/current_record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pelmora::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// False, with what the system said in `problem`, when the row could not be written whole.
bool WriteRow(std::ostream& csv, std::string_view row, std::string& problem) {
    errno = 0;
    csv << row << '\n' << std::flush;
    if (csv) {
        return true;
    }
    problem = std::string("cannot write the recording") +
              (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string());
    return false;
}

// Tells of a failed poll once when the failures start and once when they end, not for each
// poll, which at a short interval would bury everything else.
class FailureNotes {
public:
    FailureNotes(StatusLine& status, bool quiet) : m_status(status), m_quiet(quiet) {}

    void Failed(const std::string& problem) {
        if (m_inARow++ == 0 && !m_quiet) {
            m_status.Message(problem + " (the recording goes on)");
        }
    }
    void Answered() {
        if (m_inARow > 0 && !m_quiet) {
            m_status.Message("the supply answers again, after " + std::to_string(m_inARow) +
                             " failed poll(s)");
        }
        m_inARow = 0;
    }

private:
    StatusLine& m_status;
    bool m_quiet;
    long long m_inARow = 0;
};

} // namespace

MonitorResult RunMonitor(const CurrentPoller& poll, const MonitorPlan& plan, std::ostream& csv,
                         StatusLine& status, bool quiet, const StopSignals& stop) {
    MonitorResult result;
    if (!WriteRow(csv, kCurrentRecordHeader, result.problem)) {
        result.end = MonitorEnd::OutputFailed;
        return result;
    }
    FailureNotes notes(status, quiet);
    const auto start = Clock::now();
    const auto planEnd = plan.duration ? start + *plan.duration : Clock::time_point::max();
    auto next = start;
    for (;;) {
        if (stop.StopRequested()) {
            result.end = MonitorEnd::Interrupted;
            return result;
        }
        if ((plan.samples && result.samples >= *plan.samples) || Clock::now() >= planEnd) {
            result.end = MonitorEnd::Planned;
            return result;
        }

        CurrentRecord record;
        record.time = std::chrono::system_clock::now();
        record.elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
        const PolledCurrents polled = poll();
        record.reading = polled.reading;
        if (polled.reading) {
            record.average = polled.average.value_or(*polled.reading);
        }
        ++result.samples;
        if (!WriteRow(csv, FormatCurrentRecord(record), result.problem)) {
            result.end = MonitorEnd::OutputFailed;
            return result;
        }
        if (polled.reading) {
            notes.Answered();
        } else {
            ++result.failures;
            result.problem = polled.problem;
        }
        status.Update(result.samples, polled.reading, result.failures);
        if (polled.tripped) {
            result.end = MonitorEnd::Tripped;
            return result;
        }
        if (polled.lost) {
            result.end = MonitorEnd::PortLost;
            return result;
        }
        if (!polled.reading) {
            if (plan.stopOnError) {
                result.end = MonitorEnd::StoppedOnError;
                return result;
            }
            notes.Failed(result.problem);
        }

        // A period missed while a slow reply was awaited is skipped, not made up for by a burst.
        next = std::max(next + plan.interval, Clock::now());
        stop.SleepFor(std::chrono::ceil<milliseconds>(std::min(next, planEnd) - Clock::now()));
    }
}

} // namespace pelmora::cli
