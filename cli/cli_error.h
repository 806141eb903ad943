#pragma once

#include "cli/exit_status.h"
#include "link/supply_error.h"

#include <stdexcept>
#include <string>

namespace pelmora::cli {

// A failure that ends the run: what() is the one line the user reads (what failed and what to
// do), and the exit status tells a script what kind of failure it was.
class CliError : public std::runtime_error {
public:
    CliError(int exitStatus, const std::string& message)
        : std::runtime_error(message), m_exitStatus(exitStatus) {}

    int ExitStatus() const { return m_exitStatus; }

private:
    int m_exitStatus;
};

// What a failure to reach the supply tells a script.
int ExitStatusOf(SupplyFailure failure);

// The same failure as the verbs report it.
CliError FromSupplyError(const SupplyError& error);

} // namespace pelmora::cli
