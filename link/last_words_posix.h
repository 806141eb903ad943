#pragma once

#include <string_view>

// A device that must hear a last command however the process ends. While armed, the bytes are
// written to the descriptor from an exit handler (exit() anywhere, e.g. a GUI library ending
// the process when its display goes away) and from a handler of the crash signals (SIGSEGV,
// SIGABRT, SIGBUS, SIGFPE, SIGILL), which then lets the crash take its course. Both use the
// system's write() alone. One device per process; arming another replaces it.
namespace pelmora {

// At most this many bytes are kept.
inline constexpr std::size_t kLastWordsCapacity = 16;

void ArmLastWords(int descriptor, std::string_view bytes);
// Does nothing unless `descriptor` is the one armed.
void DisarmLastWords(int descriptor);

} // namespace pelmora
