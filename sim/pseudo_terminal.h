#pragma once

#include "unique_fd.h"

#include <filesystem>

namespace pelmora::sim {

// A pseudo-terminal pair set up as a raw serial line, or left as the kernel made it. The slave end
// is held open here as well, so that the line stays up while the program on the other side closes
// and reopens its port.
struct PseudoTerminal {
    // Non-blocking.
    UniqueFd master;
    UniqueFd heldSlave;
    std::filesystem::path slavePath;
};

// Throws std::system_error when the system gives no pseudo-terminal.
PseudoTerminal OpenPseudoTerminal(bool kernelModes = false);

} // namespace pelmora::sim
