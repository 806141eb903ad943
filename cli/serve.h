#pragma once

#include "cli/cli_options.h"

#include <ostream>

namespace pelmora::cli {

// Serves the supply to SCPI clients until a stop signal: binds the address first, then finds
// the supply and switches its output off, names both on `out` once clients can connect, and
// logs on `err`. Switches the output off again as it ends. Throws CliError.
int RunServe(const CliOptions& options, std::ostream& out, std::ostream& err);

} // namespace pelmora::cli
