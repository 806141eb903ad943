#include "rules/current_record.h"

#include "link/local_time.h"

#include <array>
#include <cstdio>

namespace pelmora {

namespace {

constexpr char kSeparator = ',';
constexpr long long kMillisecondsPerSecond = 1000;
constexpr std::size_t kElapsedCapacity = 32;

std::string Seconds(std::chrono::milliseconds elapsed) {
    const long long count = elapsed.count();
    std::array<char, kElapsedCapacity> text{};
    std::snprintf(text.data(), text.size(), "%lld.%03lld", count / kMillisecondsPerSecond,
                  count % kMillisecondsPerSecond);
    return text.data();
}

} // namespace

std::string FormatCurrentRecord(const CurrentRecord& record) {
    std::string row = FormatLocalTimestamp(record.time);
    row += kSeparator;
    row += Seconds(record.elapsed);
    const auto field = [&row](std::optional<int> value) {
        row += kSeparator;
        if (value) {
            row += std::to_string(*value);
        }
    };
    const auto& reading = record.reading;
    field(reading ? std::optional(reading->positiveMa) : std::nullopt);
    field(reading ? std::optional(reading->negativeMa) : std::nullopt);
    field(reading ? std::optional(record.average.positiveMa) : std::nullopt);
    field(reading ? std::optional(record.average.negativeMa) : std::nullopt);
    return row;
}

} // namespace pelmora
