#include "cli/cli_error.h"

namespace pelmora::cli {

int ExitStatusOf(SupplyFailure failure) {
    switch (failure) {
    case SupplyFailure::PortAccess:
        return kExitPortAccess;
    case SupplyFailure::BadPortList:
        return kExitUsage;
    case SupplyFailure::NoSupply:
        break;
    }
    return kExitNoSupply;
}

CliError FromSupplyError(const SupplyError& error) {
    return CliError(ExitStatusOf(error.Failure()), error.what());
}

} // namespace pelmora::cli
