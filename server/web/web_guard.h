#pragma once

#include "server/listen_address.h"
#include "server/web/web_requests.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::server {

// Who may ask the HTTP face anything. A page on another site must not switch a bench: a request
// whose Host names no address of this server (DNS rebinding turns a name the attacker owns
// into this machine's address) is refused, and so is any request from a page of another origin
// (no cross-origin requests are answered, so none can be read either). Peers outside the
// allowed ranges are refused as on the SCPI port.
class WebGuard {
public:
    // Listening on `listen`, at `port` (the one the system picked for 0). `hostNames` are this
    // machine's own names, which a Host may give.
    WebGuard(const ListenAddress& listen, std::uint16_t port, std::vector<std::string> hostNames);

    // Why a request is refused, or none.
    std::optional<WebAnswer> Refusal(const IpAddress& peer, std::string_view host,
                                     std::string_view origin,
                                     const std::vector<AddressRange>& allowed) const;

private:
    bool IsOurHost(std::string_view host) const;

    std::uint16_t m_port;
    std::vector<std::string> m_names;
};

// The names this machine answers to on its network: its host name, and the same with .local
// for mDNS, besides localhost.
std::vector<std::string> OwnHostNames();

// Whether a Content-Type is JSON's.
bool IsJson(std::string_view contentType);

// The language of the page: "en" when the browser prefers English (Accept-Language "en…"),
// else "ja"; "lang=en" or "lang=ja" in the query overrides.
std::string PageLanguage(std::string_view acceptLanguage, std::string_view query);

// Whether a path is one of the face's, whatever the method.
bool IsKnownPath(std::string_view path);

std::string_view ReasonPhrase(int status);

} // namespace pelmora::server
