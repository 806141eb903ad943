#pragma once

#include "link/supply_protocol.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

// One row of a current recording, as CSV: when the sample was asked for, the seconds since the
// recording began, both rails' readings and their averages, in mA. A poll that got
// no valid reply still makes a row, with the readings left empty, so that a gap shows.
namespace pelmora {

inline constexpr std::string_view kCurrentRecordHeader =
    "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA";

struct CurrentRecord {
    std::chrono::system_clock::time_point time;
    std::chrono::milliseconds elapsed{0};
    // Empty for a failed poll.
    std::optional<protocol::CurrentReading> reading;
    // The averages with this sample taken in.
    protocol::CurrentReading average;
};

// The row without its line end, e.g.
// "2026-12-08T14:03:07.250+09:00,12.300,51,49,50,48".
std::string FormatCurrentRecord(const CurrentRecord& record);

} // namespace pelmora
