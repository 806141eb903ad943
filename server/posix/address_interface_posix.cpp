#include "server/posix/address_interface_posix.h"

#include <algorithm>
#include <ifaddrs.h>
#include <memory>
#include <net/if.h>
#include <netinet/in.h>

namespace pelmora::server {

namespace {

constexpr std::size_t kV4Bytes = 4;

bool Holds(const sockaddr& socketAddress, const IpAddress& address) {
    if (socketAddress.sa_family == AF_INET && !address.v6) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(socketAddress);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v4.sin_addr);
        return std::equal(bytes, bytes + kV4Bytes, address.bytes.begin());
    }
    if (socketAddress.sa_family == AF_INET6 && address.v6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(socketAddress);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&v6.sin6_addr);
        return std::equal(bytes, bytes + address.bytes.size(), address.bytes.begin());
    }
    return false;
}

} // namespace

std::optional<unsigned> InterfaceHolding(const IpAddress& address) {
    ifaddrs* first = nullptr;
    if (::getifaddrs(&first) != 0) {
        return std::nullopt;
    }
    const std::unique_ptr<ifaddrs, decltype(&::freeifaddrs)> list(first, &::freeifaddrs);
    for (const ifaddrs* entry = first; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && Holds(*entry->ifa_addr, address)) {
            const unsigned index = ::if_nametoindex(entry->ifa_name);
            if (index != 0) {
                return index;
            }
        }
    }
    return std::nullopt;
}

} // namespace pelmora::server
