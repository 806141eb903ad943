#pragma once

#include "unique_fd.h"

#include <filesystem>

namespace pelmora::sim {

// A pseudo-terminal pair set up as a raw serial line, or left as the kernel made it. The slave end
// is held open here as well, so that the line stays up while the program on the other side closes
// and reopens its port. A terminal keeps its exclusive mode until its last close, which that hold
// would put off for ever: a program killed while it had the port would leave it refused to all
// others. So the openings and closings of the slave by others are followed, and the mode is
// cleared when the last of them closes, as it is on a real serial device.
struct PseudoTerminal {
    // Non-blocking.
    UniqueFd master;
    UniqueFd heldSlave;
    // Non-blocking; readable when the slave has been opened or closed since it was last read.
    UniqueFd openWatch;
    // Open file descriptions of the slave other than the held one.
    int othersOpen = 0;
    std::filesystem::path slavePath;
};

// Throws std::system_error when the system gives no pseudo-terminal.
PseudoTerminal OpenPseudoTerminal(bool kernelModes = false);

// Takes in the openings and closings the watch has seen, and clears exclusive mode once no one
// else has the slave open.
void FollowOpenings(PseudoTerminal& terminal);

} // namespace pelmora::sim
