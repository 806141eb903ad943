#pragma once

#include "server/listen_address.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora::cli {

using server::kDefaultServerPort;

// Where a running pelmora-cli serve is reached: a host name or address, and its port.
struct RemoteAddress {
    // Without brackets: "bench", "192.0.2.7", "::1".
    std::string host;
    std::uint16_t port = kDefaultServerPort;
};

// "HOST", "HOST:PORT", "[IPV6]" or "[IPV6]:PORT"; a bare IPv6 address takes no port. Empty when
// the text is none of these.
std::optional<RemoteAddress> ParseRemoteAddress(std::string_view text);

// The form messages use: "bench:5025", "[::1]:5025".
std::string AddressLabel(const RemoteAddress& address);

} // namespace pelmora::cli
