#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace asio::ip {
class address;
}

// Where serve listens and whom it lets in, as typed on the command line. Parsing throws
// std::invalid_argument with the reason, worded for the user.
namespace pelmora::server {

// The SCPI socket port, where a Pelmora server listens unless told otherwise.
inline constexpr std::uint16_t kDefaultServerPort = 5025;
inline constexpr std::string_view kDefaultListenAddress = "127.0.0.1:5025";

// An IPv4 address keeps its four bytes first; the rest are zero.
struct IpAddress {
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};

    friend bool operator==(const IpAddress&, const IpAddress&) = default;
};

struct ListenAddress {
    IpAddress address;
    std::uint16_t port = kDefaultServerPort;
};

// A range of addresses: the first `prefixBits` bits of `network` (its other bits are zero).
struct AddressRange {
    IpAddress network;
    int prefixBits = 0;
};

// "127.0.0.1:5025", "[::1]:5025", or an address alone for the default port. Port 0 asks the
// system for a free one.
ListenAddress ParseListenAddress(std::string_view text);
// As ParseListenAddress, or a port alone for that port on loopback: "8080".
ListenAddress ParseHttpAddress(std::string_view text);
// "192.168.1.0/24", "fd00::/8", or an address alone for just that address. Bits set past the
// prefix are a mistake, since they suggest a range other than the one that would be allowed.
AddressRange ParseAddressRange(std::string_view text);
// A number of the address's own kind, without brackets: "10.0.0.5", "fe80::1".
IpAddress ParseIpAddress(std::string_view text);

bool IsLoopback(const IpAddress& address);
// An IPv4 peer of a socket that listens on IPv6 shows as ::ffff:a.b.c.d and is matched as the
// IPv4 address it is.
bool InRange(const IpAddress& address, const AddressRange& range);
bool InAnyRange(const IpAddress& address, const std::vector<AddressRange>& ranges);

// An address as Asio holds it: a parsed one, or a peer's; and back.
IpAddress FromAsio(const asio::ip::address& parsed);
asio::ip::address ToAsio(const IpAddress& address);

// "127.0.0.1", "::1".
std::string FormatAddress(const IpAddress& address);
// "127.0.0.1:40123", "[::1]:5025".
std::string FormatEndpoint(const IpAddress& address, std::uint16_t port);

} // namespace pelmora::server
