#pragma once

#include <csignal>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::sim {

// Exit status when the command could not be started, as a shell gives it.
inline constexpr int kCannotRunExitCode = 127;

// Runs `command` (looked up on PATH) with the port list variable set to `portsValue`, passes
// every interrupt, terminate and hang-up on to it, and gives its exit status once it ends:
// 128 + the signal number when a signal ended it. `handled` must be the set from
// BlockHandledSignals().
int RunCommand(const std::vector<std::string>& command, std::string_view portsValue,
               const sigset_t& handled);

} // namespace pelmora::sim
