#pragma once

#include "sim/simulated_supply.h"

#include <string>

// The port list, as PELMORA_PORTS takes it, that shows `supply` as COM3.
inline std::string Ports(const pelmora::sim::SimulatedSupply& supply) {
    return "COM3=" + supply.SlavePath().string();
}
