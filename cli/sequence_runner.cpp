#include "cli/sequence_runner.h"

#include "link/supply_timing.h"
#include "rules/current_record.h"

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
    StepWatch(ControlledSupply& supply, std::ostream& csv, StatusLine& status,
              const StopSignals& stop, SequenceResult& result)
        : m_supply(supply), m_csv(csv), m_status(status), m_stop(stop), m_result(result) {}

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
    bool Until(Clock::time_point until, Clock::time_point programStart) {
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
            if (!PollOnce(programStart)) {
                return false;
            }
        }
    }

private:
    bool PollOnce(Clock::time_point programStart) {
        CurrentRecord record;
        record.time = std::chrono::system_clock::now();
        const auto asked = Clock::now();
        record.elapsed = std::chrono::duration_cast<milliseconds>(asked - programStart);
        m_lastPoll = asked;
        const PolledCurrents polled = m_supply.Poll();
        if (polled.reading) {
            // A poll that went unanswered took the whole reply wait, which says nothing about
            // how long an exchange takes; counting it would leave short steps unwatched.
            m_longestPoll = std::max(m_longestPoll, Clock::now() - asked);
            record.reading = polled.reading;
            record.average = polled.average.value_or(*polled.reading);
        } else {
            ++m_failures;
        }
        ++m_result.samples;
        if (!WriteLine(FormatCurrentRecord(record) + "," + std::to_string(m_result.step))) {
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
        if (polled.programEnded == ProgramEnd::SupplySilent) {
            m_result.end = SequenceEnd::SupplySilent;
            m_result.problem = polled.problem;
            return false;
        }
        return true;
    }

    ControlledSupply& m_supply;
    std::ostream& m_csv;
    StatusLine& m_status;
    const StopSignals& m_stop;
    SequenceResult& m_result;
    long long m_failures = 0;
    std::optional<Clock::time_point> m_lastPoll;
    // A poll is started only when one this long still ends before the next step is due.
    Clock::duration m_longestPoll{};
};

// Where the controller's program is, counted from 1 as the messages give it.
void NoteStep(const ControlledSupply& supply, SequenceResult& result) {
    if (const auto progress = supply.Controller().Progress()) {
        result.step = progress->step + 1;
        result.pass = progress->pass + 1;
    }
}

} // namespace

SequenceResult RunSequence(ControlledSupply& supply, std::span<const SequenceStep> steps,
                           std::optional<std::size_t> passes, std::ostream& csv, StatusLine& status,
                           const StopSignals& stop) {
    SequenceResult result;
    StepWatch watch(supply, csv, status, stop, result);
    if (!watch.WriteLine(kSequenceRecordHeader)) {
        return result;
    }
    const auto start = Clock::now();
    supply.StartProgram(std::vector<SequenceStep>(steps.begin(), steps.end()), passes);
    for (;;) {
        if (!supply.StepProblem().empty()) {
            result.end = SequenceEnd::StepFailed;
            result.problem = supply.StepProblem();
            return result;
        }
        NoteStep(supply, result);
        const auto due = supply.NextDue();
        if (!due) {
            result.end = SequenceEnd::Done;
            return result;
        }
        if (!watch.Until(*due, start)) {
            return result;
        }
        supply.Tick();
    }
}

} // namespace pelmora::cli
