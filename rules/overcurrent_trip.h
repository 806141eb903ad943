#pragma once

#include "link/rail.h"
#include "link/supply_protocol.h"

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

// Over-current protection in software: the host watches every poll sample and switches the
// output off when a rail stays over its limit. It is no hardware protection: from the first
// sample over the limit, the output goes off at worst `samples` poll periods plus one exchange
// later, and not at all while the host is not running.
namespace pelmora::overcurrent {

// The most a reading shows: three digits. A limit stays below it, so that it can be exceeded.
inline constexpr int kFullScaleMa = 999;
inline constexpr int kMinLimitMa = 1;
inline constexpr int kMaxLimitMa = kFullScaleMa - 1;
inline constexpr int kMinSamples = 1;
inline constexpr int kMaxSamples = 10;
inline constexpr int kDefaultSamples = 2;
inline constexpr std::chrono::milliseconds kMinBlanking{0};
inline constexpr std::chrono::milliseconds kMaxBlanking{10'000};
inline constexpr std::chrono::milliseconds kDefaultBlanking{500};

struct RailLimit {
    bool enabled = false;
    int limitMa = kMaxLimitMa;
};

// Both rails off by default, which is also what a reset of the protection gives.
struct TripSettings {
    RailLimit positive;
    RailLimit negative;
    // Consecutive poll samples over the limit that trip.
    int samples = kDefaultSamples;
    // After the output goes on or its voltage changes, samples are ignored this long, so that
    // the inrush into a load's capacitors does not trip.
    std::chrono::milliseconds blanking = kDefaultBlanking;

    const RailLimit& Of(Rail rail) const { return rail == Rail::Positive ? positive : negative; }
    bool AnyEnabled() const { return positive.enabled || negative.enabled; }
};

// One message per setting out of range, each fit to show as it is ("positive rail limit: 0 mA
// is outside 1 to 998 mA"); empty when the settings can be used.
std::vector<std::string> SettingsProblems(const TripSettings& settings);

struct TripRecord {
    Rail rail = Rail::Positive;
    int readingMa = 0;
    int limitMa = 0;
    // When the tripping sample was taken, for messages and logs.
    std::chrono::system_clock::time_point when;
};

// "positive rail drew 512 mA, over its 500 mA limit".
std::string DescribeTrip(const TripRecord& trip);

// One poll of the currents. A poll that brought no reading (no reply, a garbled one) has no
// reading.
struct PollSample {
    std::optional<protocol::CurrentReading> reading;
    std::chrono::steady_clock::time_point at;
    std::chrono::system_clock::time_point wallClock;
};

// Decides when to trip; it sends nothing. Whoever owns the line tells it what the output does
// and hands it every poll sample; when Sample() answers with a trip, the caller sends the reset
// command at once, ahead of anything else queued for the line. The trip then latches: the
// output may not go on again until Clear(). Not thread-safe.
class TripEngine {
public:
    using SteadyTime = std::chrono::steady_clock::time_point;

    // Throws std::invalid_argument when SettingsProblems() finds any.
    explicit TripEngine(const TripSettings& settings = {});

    // New settings start the count of samples over the limit afresh; a latched trip stays.
    // Throws std::invalid_argument when SettingsProblems() finds any.
    void Configure(const TripSettings& settings);
    const TripSettings& Settings() const { return m_settings; }

    // Call before writing the command that turns the output on. False while a trip is latched:
    // then nothing may be written.
    bool OutputOn(SteadyTime at);
    // The output stays on at a new voltage: a new inrush is blanked, but not on a rail that
    // was already over its limit before the change.
    void VoltageChanged(SteadyTime at);
    void OutputOff();

    // A trip when this sample is the last of enough consecutive ones over a rail's limit (the
    // positive rail first when both are). Samples taken while the output is off or after a trip
    // are ignored; within the blanking time a sample over the limit does not count, but it
    // marks the rail as over, so that a voltage change before the blanking ends does not blank
    // it again: a program of steps shorter than the blanking time is watched like any other.
    // A sample without a reading neither counts nor breaks a run: a line that loses every
    // other reply must not keep a shorted board powered, and a lost reply alone is no sign of
    // too much current.
    std::optional<TripRecord> Sample(const PollSample& sample);

    bool Tripped() const { return m_trip.has_value(); }
    const std::optional<TripRecord>& Trip() const { return m_trip; }
    // Lets the output go on again. The output is off after a trip, so watching starts anew
    // with the next OutputOn().
    void Clear();

private:
    void RestartCounts();
    std::optional<TripRecord> CountRail(Rail rail, int readingMa, const PollSample& sample);

    // A rail's run of samples over its limit.
    struct RailRun {
        // Counted samples, those outside the blanking time or past a change it went into over.
        int counted = 0;
        // The last sample with a reading was over the limit, blanked or not.
        bool over = false;
        // Over when the voltage last changed: the blanking that began then does not hold it.
        bool overAtChange = false;
    };

    TripSettings m_settings;
    bool m_outputOn = false;
    SteadyTime m_blankedUntil{};
    std::array<RailRun, 2> m_runs{};
    std::optional<TripRecord> m_trip;
};

} // namespace pelmora::overcurrent
