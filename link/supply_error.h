#pragma once

#include <stdexcept>
#include <string>

namespace pelmora {

// What kind of failure kept a program from the supply; each program decides what it means for
// its own end (an exit status, a log line, a box).
enum class SupplyFailure {
    // No supply answered, or it stopped answering as it should.
    NoSupply,
    // A port could not be used: permission, held by another program, or no terminal.
    PortAccess,
    // The list of ports the user gave cannot be read.
    BadPortList,
};

// A failure in reaching or talking to the supply: what() is the one line the user reads (what
// failed and what to do).
class SupplyError : public std::runtime_error {
public:
    SupplyError(SupplyFailure failure, const std::string& message)
        : std::runtime_error(message), m_failure(failure) {}

    SupplyFailure Failure() const { return m_failure; }

private:
    SupplyFailure m_failure;
};

} // namespace pelmora
