#pragma once

#include <cstddef>
#include <string_view>
#include <windows.h>

// A device that must hear a last command however the process ends, as far as Windows lets a
// process know that it ends: the bytes are written from an exit handler (exit() anywhere), from
// the handler of exceptions that nothing else handles (a crash, which then takes its course)
// and from abort(). A process that is terminated from outside (TerminateProcess, the task
// manager) runs none of them. One device per process; arming another replaces it.
namespace pelmora {

// At most this many bytes are kept.
inline constexpr std::size_t kLastWordsCapacity = 16;

// `device` is open for overlapped transfers.
void ArmLastWords(HANDLE device, std::string_view bytes);
// Does nothing unless `device` is the one armed.
void DisarmLastWords(HANDLE device);

} // namespace pelmora
