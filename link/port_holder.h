#pragma once

#include "link/open_failure.h"

#include <filesystem>
#include <optional>
#include <vector>

namespace pelmora {

// The program that holds a device, where the system tells; empty where it does not. On Linux:
// first the owner of a lock on it, as the system's lock table lists it to anyone, else another
// process with the device open, where the system lets us look at its descriptors (our own
// user's processes, or all of them for root).
std::optional<PortHolder> FindPortHolder(const std::filesystem::path& device);

// Every other process that has the device open, where the system lets us look at its
// descriptors, by process number; empty where it does not.
std::vector<PortHolder> FindPortOpeners(const std::filesystem::path& device);

} // namespace pelmora
