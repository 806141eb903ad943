#pragma once

#include "sim/unique_fd.h"

#include <filesystem>

namespace pelmora::sim {

// A pseudo-terminal pair set up as a raw serial line, or left as the kernel made it. The slave end
// is held open here as well, so that the line stays up while the program on the other side closes
// and reopens its port. A terminal keeps its exclusive mode until its last close, which that hold
// would put off for ever: a program killed while it had the port would leave it refused to all
// others. So each close of the slave by others is watched for, and once no other process has
// the slave open the mode is cleared, as it is on a real serial device's last close.
struct PseudoTerminal {
    // Non-blocking.
    UniqueFd master;
    UniqueFd heldSlave;
    // Non-blocking; readable when the slave has been closed since it was last read.
    UniqueFd closeWatch;
    std::filesystem::path slavePath;
};

// Throws std::system_error when the system gives no pseudo-terminal.
PseudoTerminal OpenPseudoTerminal(bool kernelModes = false);

// Takes in the closes the watch has seen, and clears exclusive mode if no one else has the
// slave open any more. Others are the processes whose descriptors the system lets us see (our
// own user's, or all for root), this one included, with a descriptor of the slave that is not
// the held one or a copy of it.
void ReleaseAfterLastClose(PseudoTerminal& terminal);

} // namespace pelmora::sim
