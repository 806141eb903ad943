#include "rules/overcurrent_trip.h"

#include <stdexcept>

namespace pelmora::overcurrent {

namespace {

std::string_view RailName(Rail rail) {
    return rail == Rail::Positive ? "positive" : "negative";
}

std::size_t RailSlot(Rail rail) {
    return rail == Rail::Positive ? 0 : 1;
}

std::string OutsideText(long long value, std::string_view unit, long long minimum,
                        long long maximum) {
    // Built by appending: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    std::string text = std::to_string(value);
    text.append(" ").append(unit).append(" is outside ").append(std::to_string(minimum));
    text.append(" to ").append(std::to_string(maximum)).append(" ").append(unit);
    return text;
}

} // namespace

std::vector<std::string> SettingsProblems(const TripSettings& settings) {
    std::vector<std::string> problems;
    for (const Rail rail : {Rail::Positive, Rail::Negative}) {
        const RailLimit& limit = settings.Of(rail);
        if (limit.limitMa < kMinLimitMa || limit.limitMa > kMaxLimitMa) {
            problems.push_back(std::string(RailName(rail)) + " rail limit: " +
                               OutsideText(limit.limitMa, "mA", kMinLimitMa, kMaxLimitMa) +
                               " (readings stop at " + std::to_string(kFullScaleMa) + " mA)");
        }
    }
    if (settings.samples < kMinSamples || settings.samples > kMaxSamples) {
        problems.push_back("samples over the limit: " +
                           OutsideText(settings.samples, "samples", kMinSamples, kMaxSamples));
    }
    if (settings.blanking < kMinBlanking || settings.blanking > kMaxBlanking) {
        problems.push_back("blanking delay: " + OutsideText(settings.blanking.count(), "ms",
                                                            kMinBlanking.count(),
                                                            kMaxBlanking.count()));
    }
    return problems;
}

std::string DescribeTrip(const TripRecord& trip) {
    return std::string(RailName(trip.rail)) + " rail drew " + std::to_string(trip.readingMa) +
           " mA, over its " + std::to_string(trip.limitMa) + " mA limit";
}

TripEngine::TripEngine(const TripSettings& settings) {
    Configure(settings);
}

void TripEngine::Configure(const TripSettings& settings) {
    const auto problems = SettingsProblems(settings);
    if (!problems.empty()) {
        throw std::invalid_argument(problems.front());
    }
    m_settings = settings;
    RestartCounts();
}

bool TripEngine::OutputOn(SteadyTime at) {
    if (m_trip) {
        return false;
    }
    m_outputOn = true;
    m_blankedUntil = at + m_settings.blanking;
    RestartCounts();
    return true;
}

void TripEngine::VoltageChanged(SteadyTime at) {
    m_blankedUntil = at + m_settings.blanking;
    for (auto& run : m_runs) {
        run.overAtChange = run.over;
    }
}

void TripEngine::OutputOff() {
    m_outputOn = false;
    RestartCounts();
}

std::optional<TripRecord> TripEngine::Sample(const PollSample& sample) {
    if (!m_outputOn || m_trip || !sample.reading) {
        return std::nullopt;
    }
    auto positive = CountRail(Rail::Positive, sample.reading->positiveMa, sample);
    auto negative = CountRail(Rail::Negative, sample.reading->negativeMa, sample);
    m_trip = positive ? positive : negative;
    if (m_trip) {
        m_outputOn = false;
        RestartCounts();
    }
    return m_trip;
}

void TripEngine::Clear() {
    m_trip.reset();
}

void TripEngine::RestartCounts() {
    m_runs.fill({});
}

std::optional<TripRecord> TripEngine::CountRail(Rail rail, int readingMa,
                                                const PollSample& sample) {
    const RailLimit& limit = m_settings.Of(rail);
    RailRun& run = m_runs[RailSlot(rail)];
    if (!limit.enabled || readingMa <= limit.limitMa) {
        run = {};
        return std::nullopt;
    }
    run.over = true;
    if (sample.at < m_blankedUntil && !run.overAtChange) {
        return std::nullopt;
    }
    if (++run.counted < m_settings.samples) {
        return std::nullopt;
    }
    return TripRecord{rail, readingMa, limit.limitMa, sample.wallClock};
}

} // namespace pelmora::overcurrent
