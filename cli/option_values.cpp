#include "cli/option_values.h"

#include "cli11_support/bounded_number.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <sstream>

namespace pelmora::cli {

namespace {

constexpr double kMillisecondsPerSecond = 1000.0;
constexpr const char* kTripOff = "off";

} // namespace

std::chrono::milliseconds ParseSeconds(const std::string& option, const std::string& text) {
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds) ||
        seconds <= 0.0 || seconds > std::numeric_limits<int>::max()) {
        throw CLI::ValidationError(option, "'" + text + "' is not a number of seconds above 0");
    }
    return std::chrono::milliseconds(
        static_cast<long long>(std::ceil(seconds * kMillisecondsPerSecond)));
}

std::string SecondsText(std::chrono::milliseconds duration) {
    std::ostringstream text;
    text << static_cast<double>(duration.count()) / kMillisecondsPerSecond;
    return text.str();
}

std::chrono::milliseconds ParseSecondsIn(const std::string& option, const std::string& text,
                                         std::chrono::milliseconds minimum,
                                         std::chrono::milliseconds maximum) {
    double seconds = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    const double milliseconds = seconds * kMillisecondsPerSecond;
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds) ||
        milliseconds < static_cast<double>(minimum.count()) ||
        milliseconds > static_cast<double>(maximum.count())) {
        throw CLI::ValidationError(option, "'" + text + "' is not a number of seconds from " +
                                               SecondsText(minimum) + " to " +
                                               SecondsText(maximum));
    }
    return std::chrono::milliseconds(std::llround(milliseconds));
}

void TakeTripLimits(const std::string& option, const std::string& text,
                    overcurrent::TripSettings& settings) {
    const auto comma = text.find(',');
    const std::string positive = text.substr(0, comma);
    const std::string negative = comma == std::string::npos ? positive : text.substr(comma + 1);
    const auto take = [&](const std::string& typed, overcurrent::RailLimit& limit) {
        limit.enabled = typed != kTripOff;
        if (limit.enabled) {
            limit.limitMa = pelmora::cli11::ParseBounded(option, typed, overcurrent::kMinLimitMa,
                                                         overcurrent::kMaxLimitMa);
        }
    };
    take(positive, settings.positive);
    take(negative, settings.negative);
    if (!settings.AnyEnabled()) {
        throw CLI::ValidationError(option, "'" + text + "' watches neither rail");
    }
}

} // namespace pelmora::cli
