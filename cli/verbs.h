#pragma once

#include "cli/cli_options.h"

#include <ostream>

namespace pelmora::cli {

// Carries out the verb: results on `out`, messages and errors on `err`. Gives the exit status;
// a failure is told on `err` as one line.
int RunVerb(const CliOptions& options, std::ostream& out, std::ostream& err);

} // namespace pelmora::cli
