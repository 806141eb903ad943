#pragma once

#include "rules/overcurrent_trip.h"

#include <CLI/CLI.hpp>
#include <chrono>
#include <stdexcept>
#include <string>

// The values pelmora-cli's options take, read as the user typed them. Each one refused is the
// option's usage error (CLI::ValidationError), naming what it takes.
namespace pelmora::cli {

// Seconds above 0, e.g. "1.5", rounded up to the millisecond.
std::chrono::milliseconds ParseSeconds(const std::string& option, const std::string& text);

// Seconds from `minimum` to `maximum`, to the millisecond, e.g. "0.25".
std::chrono::milliseconds ParseSecondsIn(const std::string& option, const std::string& text,
                                         std::chrono::milliseconds minimum,
                                         std::chrono::milliseconds maximum);

// "0.5" for 500 ms.
std::string SecondsText(std::chrono::milliseconds duration);

// "POS[,NEG]": one limit for both rails, or each rail's; "off" leaves a rail unwatched.
void TakeTripLimits(const std::string& option, const std::string& text,
                    overcurrent::TripSettings& settings);

// A value parsed by `parse`, whose std::invalid_argument becomes the option's usage error.
template <typename Parse> auto Parsed(const std::string& option, Parse parse) {
    try {
        return parse();
    } catch (const std::invalid_argument& error) {
        throw CLI::ValidationError(option, error.what());
    }
}

} // namespace pelmora::cli
