#pragma once

#include <functional>
#include <sys/types.h>

namespace pelmora {

// Where the system shows each process, by its PID.
inline constexpr const char* kProcessDir = "/proc";

// Each descriptor that opens a character device, in every process whose descriptors the
// system lets us see, until `visit` returns true. A process that ends meanwhile is passed
// over, never an error: the walk races with every process on the machine.
void VisitOpenDevices(const std::function<bool(long pid, int descriptor, dev_t device)>& visit);

} // namespace pelmora
