#include "cli/sequence_runner.h"

#include "cli/cli_error.h"
#include "link/supply_timing.h"
#include "rules/current_history.h"
#include "rules/current_record.h"
#include "rules/sequence_schedule.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace pelmora::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Polls and records the currents between the steps' writes, keeping clear of the next write.
class StepWatch {
public:
    StepWatch(TripGuard& guard, std::ostream& csv, StatusLine& status, const StopSignals& stop,
              SequenceResult& result)
        : m_guard(guard), m_csv(csv), m_status(status), m_stop(stop), m_result(result) {}

    bool WriteLine(std::string_view line) {
        errno = 0;
        m_csv << line << '\n' << std::flush;
        if (m_csv) {
            return true;
        }
        m_result.end = SequenceEnd::OutputFailed;
        m_result.problem =
            std::string("cannot write the recording") +
            (errno != 0 ? std::string(" (") + std::strerror(errno) + ")" : std::string());
        return false;
    }

    // Polls every poll period until `until`, starting a poll only when it can be expected to
    // be over by then; false, with the end in the result, when the run must end.
    bool Until(Clock::time_point until, Clock::time_point programStart, std::size_t step) {
        for (;;) {
            const auto now = Clock::now();
            const auto due = m_lastPoll ? std::max(*m_lastPoll + timing::kPollPeriod, now) : now;
            const bool pollFits = due + m_longestPoll < until;
            if (!m_stop.SleepFor(std::chrono::ceil<milliseconds>((pollFits ? due : until) - now))) {
                m_result.end = SequenceEnd::Interrupted;
                return false;
            }
            if (!pollFits) {
                return true;
            }
            if (!PollOnce(programStart, step)) {
                return false;
            }
        }
    }

private:
    bool PollOnce(Clock::time_point programStart, std::size_t step) {
        CurrentRecord record;
        record.time = std::chrono::system_clock::now();
        const auto asked = Clock::now();
        record.elapsed = std::chrono::duration_cast<milliseconds>(asked - programStart);
        m_lastPoll = asked;
        const PolledCurrents polled = m_guard.Poll();
        if (polled.reading) {
            // A poll that went unanswered took the whole reply wait, which says nothing about
            // how long an exchange takes; counting it would leave short steps unwatched.
            m_longestPoll = std::max(m_longestPoll, Clock::now() - asked);
        }
        record.reading = polled.reading;
        if (polled.reading) {
            m_positive.Push(polled.reading->positiveMa);
            m_negative.Push(polled.reading->negativeMa);
            record.average = {m_positive.Average(), m_negative.Average()};
        } else {
            ++m_failures;
        }
        ++m_result.samples;
        if (!WriteLine(FormatCurrentRecord(record) + "," + std::to_string(step))) {
            return false;
        }
        m_status.Update(m_result.samples, polled.reading, m_failures);
        if (polled.tripped) {
            m_result.end = SequenceEnd::Tripped;
            return false;
        }
        if (polled.lost) {
            m_result.end = SequenceEnd::PortLost;
            m_result.problem = polled.problem;
            return false;
        }
        return true;
    }

    TripGuard& m_guard;
    std::ostream& m_csv;
    StatusLine& m_status;
    const StopSignals& m_stop;
    SequenceResult& m_result;
    CurrentHistory m_positive;
    CurrentHistory m_negative;
    long long m_failures = 0;
    std::optional<Clock::time_point> m_lastPoll;
    // A poll is started only when one this long still ends before the next step is due.
    Clock::duration m_longestPoll{};
};

} // namespace

SequenceResult RunSequence(SupplyAccess& supply, TripGuard& guard,
                           std::span<const SequenceStep> steps, std::optional<std::size_t> passes,
                           std::ostream& csv, StatusLine& status, const StopSignals& stop) {
    SequenceResult result;
    StepWatch watch(guard, csv, status, stop, result);
    if (!watch.WriteLine(kSequenceRecordHeader)) {
        return result;
    }
    const auto start = Clock::now();
    const SequenceSchedule schedule(steps, start, passes);
    const auto slots = schedule.SlotCount();
    const SequenceStep* previous = nullptr;
    for (std::size_t number = 0; !slots || number < *slots; ++number) {
        const auto slot = schedule.SlotAt(number);
        if (!watch.Until(slot.start, start, result.step)) {
            return result;
        }
        const SequenceStep& step = steps[slot.step];
        if (previous == nullptr) {
            guard.OutputOn();
        } else if (step.positiveCode != previous->positiveCode ||
                   step.negativeCode != previous->negativeCode) {
            guard.VoltageChanged();
        }
        try {
            supply.SwitchOn(step.positiveCode, step.negativeCode);
        } catch (const CliError& error) {
            result.end = SequenceEnd::StepFailed;
            result.problem = error.what();
            return result;
        }
        previous = &step;
        result.step = slot.step + 1;
        result.pass = slot.pass + 1;
    }
    if (watch.Until(*schedule.End(), start, result.step)) {
        result.end = SequenceEnd::Done;
    }
    return result;
}

} // namespace pelmora::cli
