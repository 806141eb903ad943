#pragma once

#include "cli/monitor.h"

#include <string>
#include <string_view>

namespace pelmora::cli {

// The supply as the verbs reach it: on a port of this machine, or through a server that holds
// it. Each call that fails throws CliError with the one line the user reads.
class SupplyAccess {
public:
    virtual ~SupplyAccess() = default;

    // How messages call it: "COM3 (/dev/ttyACM0)", or the server's "bench:5025".
    virtual const std::string& Name() const = 0;
    // What it answered when asked who it is, as printed.
    virtual std::string Identity() = 0;
    // Both rails set and the output on.
    virtual void SwitchOn(std::string_view positiveCode, std::string_view negativeCode) = 0;
    virtual void SwitchOff() = 0;
    // A failed poll is reported in the result, not thrown.
    virtual PolledCurrents Poll() = 0;
    // Where the supply is, as a JSON reading names it.
    struct Place {
        std::string port;
        std::string device;
    };
    virtual Place Where() = 0;
    // Whatever ends the program from now on, the output is switched off, as far as this way of
    // reaching the supply can see to it.
    virtual void SwitchOffAtExit() = 0;
};

} // namespace pelmora::cli
