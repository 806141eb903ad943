#pragma once

#include "server/listen_address.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the server tells the local network of itself through DNS-SD over mDNS, so that the tools
// that browse for instruments (avahi-browse, lxi discover) list it: which services, where, with
// which TXT records. The platform's announcer does the telling.
namespace pelmora::server {

inline constexpr std::string_view kScpiRawService = "_scpi-raw._tcp";
inline constexpr std::string_view kHttpService = "_http._tcp";
// What LXI instruments announce for their web page, and what lxi discover looks for.
inline constexpr std::string_view kLxiService = "_lxi._tcp";
// A service name is one DNS label.
inline constexpr std::size_t kServiceNameBytes = 63;

struct AnnouncedService {
    std::string_view type;
    // Where it listens: a service is announced only where it can be reached.
    ListenAddress address;
    // "key=value" each.
    std::vector<std::string> txt;
};

struct Announcement {
    // The supply's, for the service name.
    std::string model;
    // None: nothing to announce.
    std::vector<AnnouncedService> services;
};

// The services of a server listening at these addresses. A loopback address is announced
// nowhere: only this machine reaches it, and this machine knows where it is.
Announcement PlanAnnouncement(const ListenAddress& scpi, const std::optional<ListenAddress>& http,
                              std::string_view model, std::string_view version);

// "Pelmora DRELVOV99 on bench", or without " on …" for want of a host name; cut to what a
// service name holds, never inside a character.
std::string ServiceName(std::string_view model, std::string_view host);

} // namespace pelmora::server
