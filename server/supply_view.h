#pragma once

#include "rules/overcurrent_trip.h"
#include "rules/supply_controller.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace pelmora::server {

// The supply as the server's faces show it, taken at one moment on the loop.
struct SupplyView {
    bool outputOn = false;
    std::string positiveCode;
    std::string negativeCode;
    // Each rail's current as FETCh answers it: the mean since the output went on or its
    // voltages changed; none before a sample or with the output off.
    std::optional<double> positiveMa;
    std::optional<double> negativeMa;
    // "COM3 (/dev/ttyUSB0)"; empty while the supply is away.
    std::string port;
    bool supplyUp = true;
    // Missed its last poll.
    bool supplySilent = false;
    overcurrent::TripSettings protection;
    std::optional<overcurrent::TripRecord> trip;
    std::optional<ProgramProgress> program;
    std::chrono::steady_clock::time_point at;
    // Trips since the server started.
    std::uint64_t trips = 0;
    std::string model;
    std::string version;
};

} // namespace pelmora::server
