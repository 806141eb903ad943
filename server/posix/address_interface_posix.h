#pragma once

#include "server/listen_address.h"

#include <optional>

namespace pelmora::server {

// The index of the network interface that holds `address`; none for an address no interface
// holds, which the wildcard addresses are.
std::optional<unsigned> InterfaceHolding(const IpAddress& address);

} // namespace pelmora::server
