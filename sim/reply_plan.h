#pragma once

#include "sim/sim_config.h"

#include <chrono>
#include <random>
#include <string>
#include <vector>

namespace pelmora::sim {

struct ReplyChunk {
    // Counted from the arrival of the command being answered.
    std::chrono::milliseconds after;
    std::string bytes;
};

// How a reply goes out under the configured faults: the pieces in the order they are due.
// `random` supplies the garbage bytes.
std::vector<ReplyChunk> PlanReply(std::string reply, const SimConfig& config, std::mt19937& random);

} // namespace pelmora::sim
