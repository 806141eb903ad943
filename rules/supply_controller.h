#pragma once

#include "link/supply_protocol.h"
#include "link/voltage_table.h"
#include "rules/overcurrent_trip.h"
#include "rules/recent_average.h"
#include "rules/sequence_schedule.h"
#include "rules/voltage_sequence.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// One command for the supply, as a front end sends it: both rails' voltages (which also
// switches the output on), or the reset (which switches it off).
struct SupplyCommand {
    enum class Kind { Voltages, Reset };
    Kind kind = Kind::Reset;
    std::string positiveCode;
    std::string negativeCode;

    static SupplyCommand Voltages(std::string_view positiveCode, std::string_view negativeCode);
    static SupplyCommand Reset();
    friend bool operator==(const SupplyCommand&, const SupplyCommand&) = default;
};

// Why a request changed nothing.
enum class Refusal {
    None,
    // A trip is latched: the output stays off until it is cleared.
    Tripped,
    // The program owns the voltages and the output until it ends.
    ProgramRunning,
    // The supply is gone or silent, and the front end does not switch on what may come back.
    SupplyAbsent,
};

// How a program ended.
enum class ProgramEnd {
    // Its last step ran out.
    Done,
    // The user stopped it, or switched the output off.
    Stopped,
    Tripped,
    // The supply missed the polls that would raise the alert: the protection is blind.
    SupplySilent,
    SupplyLost,
    // The supply did not take a step.
    StepNotTaken,
};

// Where a running program is.
struct ProgramProgress {
    // Counted from 0, within the pass.
    std::size_t step = 0;
    std::size_t steps = 0;
    // Counted from 0.
    std::size_t pass = 0;
    // None for without end.
    std::optional<std::size_t> passes;
    std::chrono::steady_clock::time_point stepEnd;
    // None for without end.
    std::optional<std::chrono::steady_clock::time_point> end;
};

// What a front end does after telling the controller something: send these commands in this
// order, and show what happened.
struct Reaction {
    std::vector<SupplyCommand> send;
    Refusal refused = Refusal::None;
    // The protection tripped now; the reset is the first command to send.
    std::optional<overcurrent::TripRecord> tripped;
    // The program ended now.
    std::optional<ProgramEnd> programEnded;
    // A step of the program began now, whether or not it changed what the supply has.
    bool stepBegan = false;
};

// The supply's state and the rules every front end follows with it, in one place: the output
// and its voltages, the over-current protection, a program of steps, and the supply's silence,
// loss and return. It does no I/O and keeps no clock: a front end tells it what the user asked
// and what the supply answered, with the time, and it says what to send and what happened.
class SupplyController {
public:
    using Clock = std::chrono::steady_clock;
    using Time = Clock::time_point;
    using WallTime = std::chrono::system_clock::time_point;

    struct Policy {
        // The output may not go on while the supply is gone or silent, so that a client of the
        // network cannot switch on by surprise what comes back; the panel leaves that to the
        // person in front of it.
        bool refuseWhileAbsent = false;
        // Every choice of voltages the user makes while the output is on reaches the supply,
        // the same ones again included: the panel's lists send what they close on.
        bool sendEveryChoice = false;
    };

    // Polls missed in a row that make the supply silent, raise the panel's alert and end a
    // running program.
    static constexpr int kMissedPollsForSilence = 1;

    SupplyController();
    explicit SupplyController(Policy policy);

    bool OutputOn() const { return m_outputOn; }
    const std::string& PositiveCode() const { return m_positiveCode; }
    const std::string& NegativeCode() const { return m_negativeCode; }
    const overcurrent::TripSettings& Protection() const { return m_engine.Settings(); }
    const std::optional<overcurrent::TripRecord>& Trip() const { return m_engine.Trip(); }
    bool ProgramRunning() const { return m_program.has_value(); }
    std::optional<ProgramProgress> Progress() const;
    bool SupplyLost() const { return m_lost; }
    bool SupplyAbsent() const { return m_lost || m_missedPolls >= kMissedPollsForSilence; }
    // The present current, as data files and queries give it.
    const RecentAverage& Average() const { return m_average; }
    // When Tick() has something to do next; none while no program runs.
    std::optional<Time> NextDue() const;

    // What the user asked. Voltages are codes of the voltage table.
    // Both rails' voltages: sent at once while the output is on, kept for the next "on" while it
    // is off.
    Reaction SetVoltages(std::string_view positiveCode, std::string_view negativeCode, Time now);
    Reaction SwitchOn(Time now);
    // Always taken: a running program ends, and the reset goes out.
    Reaction SwitchOff(Time now);
    // The output may be on as something else left it: it is watched from now as if it had just
    // gone on, with the inrush blanked.
    void WatchAsOn(Time now);
    // Throws std::invalid_argument for settings the protection cannot take.
    void Configure(const overcurrent::TripSettings& settings);
    void ClearTrip() { m_engine.Clear(); }
    // Runs the steps `passes` times (without end when none), the output on from the first;
    // `offAtEnd` switches it off after the last. Throws std::invalid_argument for no steps.
    Reaction StartProgram(std::vector<SequenceStep> steps, std::optional<std::size_t> passes,
                          bool offAtEnd, Time now);
    // Ends a running program, the output off.
    Reaction StopProgram(Time now);

    // What the supply answered.
    // A poll of the currents; no reading when it got no valid reply.
    Reaction Polled(const std::optional<protocol::CurrentReading>& reading, Time now,
                    WallTime wallClock);
    // An exchange other than a poll got its reply: a silence is over.
    void Answered() { m_missedPolls = 0; }
    // The supply did not take a command: a program cannot go on.
    Reaction NotTaken(Time now);
    // Its port went away: the output is off, as far as anyone can tell.
    Reaction Lost(Time now);
    // It is back, with the output off (the front end has sent the reset).
    void Found();

    // Time passes: a program's step is due, or its end.
    Reaction Tick(Time now);

private:
    struct Program {
        std::vector<SequenceStep> steps;
        SequenceSchedule schedule;
        bool offAtEnd = true;
        // The slot applied last, none before the first.
        std::optional<std::size_t> applied;
    };

    // Puts the supply at these voltages with the output on, sending only what changes.
    void Apply(std::string_view positiveCode, std::string_view negativeCode, Time now,
               Reaction& reaction);
    void EndProgram(ProgramEnd why, bool switchOff, Reaction& reaction);
    void SendOff(Reaction& reaction);
    Refusal WhyNotOn() const;

    Policy m_policy;
    bool m_outputOn = false;
    std::string m_positiveCode{kDefaultVoltageCode};
    std::string m_negativeCode{kDefaultVoltageCode};
    overcurrent::TripEngine m_engine;
    std::optional<Program> m_program;
    RecentAverage m_average;
    int m_missedPolls = 0;
    bool m_lost = false;
};

} // namespace pelmora
