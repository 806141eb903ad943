#pragma once

#include <string_view>

// A device that must hear a last command however the process ends. While armed, the bytes are
// written to the descriptor from an exit handler (exit() anywhere, e.g. a GUI library ending
// the process when its display goes away) and from a handler of every signal whose default
// action dumps core, which then lets the signal take its course. A signal that would end the
// process without a dump, and that has neither a handler nor SIG_IGN when the bytes are armed,
// is handled the same way. Both use the system's write() alone. One device per process; arming
// another replaces it.
namespace pelmora {

// At most this many bytes are kept.
inline constexpr std::size_t kLastWordsCapacity = 16;

void ArmLastWords(int descriptor, std::string_view bytes);
// Does nothing unless `descriptor` is the one armed.
void DisarmLastWords(int descriptor);

} // namespace pelmora
