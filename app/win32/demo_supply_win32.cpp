#include "app/demo_supply.h"

#include <stdexcept>

// The simulated supply lives on a pseudo-terminal, which Windows does not have.
DemoSupply::DemoSupply(const std::vector<std::string>& /*simArguments*/) {
    throw std::runtime_error("the demo needs pelmora-sim, which runs on Linux");
}

DemoSupply::~DemoSupply() = default;
