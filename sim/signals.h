#pragma once

#include <csignal>

namespace pelmora::sim {

// The signals the simulator acts on: interrupt, terminate and hang-up, plus the end of a child.
// They stay blocked and are taken one by one with sigwait, so no handler ever runs. Blocking
// them before any thread starts makes every later thread inherit the block.
sigset_t BlockHandledSignals();

// Returns once interrupt, terminate or hang-up has arrived.
void WaitForStopSignal(const sigset_t& handled);

} // namespace pelmora::sim
