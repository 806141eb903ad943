#include "server/listen_address.h"

#include "link/whole_number.h"

#include <algorithm>
#include <asio/ip/address.hpp>
#include <stdexcept>

namespace pelmora::server {

namespace {

constexpr std::size_t kV4Bytes = 4;
constexpr int kV4Bits = 32;
constexpr int kV6Bits = 128;
constexpr int kBitsPerByte = 8;
constexpr std::uint8_t kLoopbackV4Net = 127;
// ::ffff:0:0/96 holds the IPv4 addresses as an IPv6 socket sees them.
constexpr std::size_t kMappedPrefixBytes = 12;
constexpr std::uint8_t kMappedMarker = 0xff;

std::string Quoted(std::string_view text) {
    // Built by appending: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    std::string quoted(1, '\'');
    quoted.append(text).push_back('\'');
    return quoted;
}

// The IPv4 address an IPv4-mapped IPv6 address stands for; the address itself otherwise.
IpAddress Unmapped(const IpAddress& address) {
    if (!address.v6) {
        return address;
    }
    for (std::size_t i = 0; i < kMappedPrefixBytes; ++i) {
        const std::uint8_t expected = i < kMappedPrefixBytes - 2 ? 0 : kMappedMarker;
        if (address.bytes[i] != expected) {
            return address;
        }
    }
    IpAddress v4;
    std::copy_n(address.bytes.begin() + kMappedPrefixBytes, kV4Bytes, v4.bytes.begin());
    return v4;
}

IpAddress Mapped(const IpAddress& address) {
    if (address.v6) {
        return address;
    }
    IpAddress mapped;
    mapped.v6 = true;
    mapped.bytes[kMappedPrefixBytes - 2] = kMappedMarker;
    mapped.bytes[kMappedPrefixBytes - 1] = kMappedMarker;
    std::copy_n(address.bytes.begin(), kV4Bytes, mapped.bytes.begin() + kMappedPrefixBytes);
    return mapped;
}

int BitsOf(const IpAddress& address) {
    return address.v6 ? kV6Bits : kV4Bits;
}

bool BitSet(const IpAddress& address, int bit) {
    const auto byte = address.bytes[static_cast<std::size_t>(bit / kBitsPerByte)];
    return ((byte >> (kBitsPerByte - 1 - bit % kBitsPerByte)) & 1) != 0;
}

} // namespace

asio::ip::address ToAsio(const IpAddress& address) {
    if (address.v6) {
        return asio::ip::address_v6(address.bytes);
    }
    asio::ip::address_v4::bytes_type v4{};
    std::copy_n(address.bytes.begin(), v4.size(), v4.begin());
    return asio::ip::address_v4(v4);
}

IpAddress FromAsio(const asio::ip::address& parsed) {
    IpAddress address;
    address.v6 = parsed.is_v6();
    if (address.v6) {
        address.bytes = parsed.to_v6().to_bytes();
    } else {
        const auto v4 = parsed.to_v4().to_bytes();
        std::copy(v4.begin(), v4.end(), address.bytes.begin());
    }
    return address;
}

IpAddress ParseIpAddress(std::string_view text) {
    std::error_code error;
    const auto parsed = asio::ip::make_address(std::string(text), error);
    // A zone ("fe80::1%eth0") would tie the address to one interface of this machine only.
    if (error || (parsed.is_v6() && parsed.to_v6().scope_id() != 0)) {
        throw std::invalid_argument(Quoted(text) +
                                    " is not an IP address, e.g. 127.0.0.1 or ::1 (names are "
                                    "not looked up)");
    }
    return FromAsio(parsed);
}

ListenAddress ParseListenAddress(std::string_view text) {
    std::string_view host = text;
    std::string_view port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            throw std::invalid_argument(Quoted(text) + " lacks the ']' after the IPv6 address");
        }
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (!rest.starts_with(':')) {
                throw std::invalid_argument(Quoted(text) + " has something other than ':PORT' "
                                                           "after the address");
            }
            port = rest.substr(1);
            if (port.empty()) {
                throw std::invalid_argument(Quoted(text) + " lacks the port after ':'");
            }
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        if (text.find(':', colon + 1) != std::string_view::npos) {
            throw std::invalid_argument(Quoted(text) +
                                        ": an IPv6 address goes in brackets, e.g. [::1]:5025");
        }
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (port.empty()) {
            throw std::invalid_argument(Quoted(text) + " lacks the port after ':'");
        }
    }
    ListenAddress address;
    address.address = ParseIpAddress(host);
    if (text.starts_with('[') && !address.address.v6) {
        throw std::invalid_argument(Quoted(text) + ": only an IPv6 address goes in brackets");
    }
    if (!port.empty()) {
        const auto number = ParseWholeNumber<std::uint16_t>(port);
        if (!number) {
            throw std::invalid_argument(Quoted(port) + " is not a port number from 0 to 65535");
        }
        address.port = *number;
    }
    return address;
}

ListenAddress ParseHttpAddress(std::string_view text) {
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos) {
        return ParseListenAddress("127.0.0.1:" + std::string(text));
    }
    return ParseListenAddress(text);
}

AddressRange ParseAddressRange(std::string_view text) {
    const std::size_t slash = text.find('/');
    AddressRange range;
    range.network = ParseIpAddress(text.substr(0, slash));
    const int bits = BitsOf(range.network);
    range.prefixBits = bits;
    if (slash != std::string_view::npos) {
        const auto prefix = ParseWholeNumber<int>(text.substr(slash + 1));
        if (!prefix || *prefix < 0 || *prefix > bits) {
            throw std::invalid_argument(Quoted(text) +
                                        ": the prefix after '/' is a number "
                                        "from 0 to " +
                                        std::to_string(bits));
        }
        range.prefixBits = *prefix;
    }
    for (int bit = range.prefixBits; bit < bits; ++bit) {
        if (BitSet(range.network, bit)) {
            throw std::invalid_argument(Quoted(text) + " has address bits set past its /" +
                                        std::to_string(range.prefixBits) +
                                        " prefix; write the range's first address");
        }
    }
    return range;
}

bool IsLoopback(const IpAddress& address) {
    const IpAddress plain = Unmapped(address);
    if (!plain.v6) {
        return plain.bytes[0] == kLoopbackV4Net;
    }
    IpAddress v6Loopback;
    v6Loopback.v6 = true;
    v6Loopback.bytes.back() = 1;
    return plain == v6Loopback;
}

bool InRange(const IpAddress& address, const AddressRange& range) {
    // Compared as IPv6 addresses, where an IPv4 range is a range of mapped addresses.
    const IpAddress mapped = Mapped(address);
    const IpAddress network = Mapped(range.network);
    const int prefix = range.prefixBits + (range.network.v6 ? 0 : kV6Bits - kV4Bits);
    for (int bit = 0; bit < prefix; ++bit) {
        if (BitSet(mapped, bit) != BitSet(network, bit)) {
            return false;
        }
    }
    return true;
}

bool InAnyRange(const IpAddress& address, const std::vector<AddressRange>& ranges) {
    for (const auto& range : ranges) {
        if (InRange(address, range)) {
            return true;
        }
    }
    return false;
}

std::string FormatAddress(const IpAddress& address) {
    if (address.v6) {
        return asio::ip::address_v6(address.bytes).to_string();
    }
    asio::ip::address_v4::bytes_type v4{};
    std::copy_n(address.bytes.begin(), kV4Bytes, v4.begin());
    return asio::ip::address_v4(v4).to_string();
}

std::string FormatEndpoint(const IpAddress& address, std::uint16_t port) {
    const std::string text = FormatAddress(address);
    return (address.v6 ? "[" + text + "]" : text) + ":" + std::to_string(port);
}

} // namespace pelmora::server
