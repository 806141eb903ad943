#pragma once

#include <stdexcept>
#include <string>

namespace pelmora::server {

// The server could not start or end as asked: what() is the one line the user reads. Failures
// to reach the supply are SupplyErrors.
class ServerError : public std::runtime_error {
public:
    enum class Kind {
        // The address cannot be listened on; nothing was sent to the supply.
        CannotListen,
        // It stopped, but the supply did not take the last reset.
        OutputMayBeOn,
    };

    ServerError(Kind kind, const std::string& message)
        : std::runtime_error(message), m_kind(kind) {}

    Kind What() const { return m_kind; }

private:
    Kind m_kind;
};

} // namespace pelmora::server
