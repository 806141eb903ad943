#include "server/web/web_guard.h"

#include "server/web/web_page.h"

#include <algorithm>
#include <asio/ip/host_name.hpp>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace pelmora::server {

namespace {

constexpr std::uint16_t kHttpDefaultPort = 80;
constexpr std::string_view kLocalhost = "localhost";
constexpr std::string_view kMdnsDomain = ".local";
constexpr std::string_view kHttpScheme = "http://";

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char byte) { return static_cast<char>(std::tolower(byte)); });
    return lower;
}

bool IsIpLiteral(std::string_view name) {
    try {
        ParseIpAddress(name);
        return true;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

} // namespace

WebGuard::WebGuard(const ListenAddress& /*listen*/, std::uint16_t port,
                   std::vector<std::string> hostNames)
    : m_port(port), m_names(std::move(hostNames)) {
    m_names.emplace_back(kLocalhost);
    for (auto& name : m_names) {
        name = Lower(name);
    }
}

bool WebGuard::IsOurHost(std::string_view host) const {
    std::string_view name = host;
    std::uint16_t port = kHttpDefaultPort;
    std::string_view portText;
    if (name.starts_with('[')) {
        const auto close = name.find(']');
        if (close == std::string_view::npos) {
            return false;
        }
        portText = name.substr(close + 1);
        name = name.substr(1, close - 1);
        if (!portText.empty() && !portText.starts_with(':')) {
            return false;
        }
    } else if (const auto colon = name.rfind(':'); colon != std::string_view::npos) {
        portText = name.substr(colon);
        name = name.substr(0, colon);
    }
    if (!portText.empty()) {
        portText.remove_prefix(1);
        const auto [end, problem] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (problem != std::errc{} || end != portText.data() + portText.size()) {
            return false;
        }
    }
    if (port != m_port || name.empty()) {
        return false;
    }
    // An address in the Host is what the browser connected to: no name was turned into it.
    if (IsIpLiteral(name)) {
        return true;
    }
    const std::string lower = Lower(name);
    return std::find(m_names.begin(), m_names.end(), lower) != m_names.end();
}

std::optional<WebAnswer> WebGuard::Refusal(const IpAddress& peer, std::string_view host,
                                           std::string_view origin,
                                           const std::vector<AddressRange>& allowed) const {
    if (!allowed.empty() && !InAnyRange(peer, allowed)) {
        return WebAnswer{kHttpForbidden, "this address is not among the allowed ones (--allow)"};
    }
    if (!IsOurHost(host)) {
        return WebAnswer{kHttpMisdirected, "this server does not answer for that host name"};
    }
    if (!origin.empty() && Lower(origin) != Lower(std::string(kHttpScheme) + std::string(host))) {
        return WebAnswer{kHttpForbidden, "requests from pages of other sites are refused"};
    }
    return std::nullopt;
}

std::vector<std::string> OwnHostNames() {
    std::vector<std::string> names;
    asio::error_code error;
    const std::string name = asio::ip::host_name(error);
    if (!error && !name.empty()) {
        names.push_back(name);
        names.push_back(name + std::string(kMdnsDomain));
    }
    return names;
}

bool IsJson(std::string_view contentType) {
    const std::string lower = Lower(contentType);
    return lower == "application/json" || lower.starts_with("application/json;");
}

std::string PageLanguage(std::string_view acceptLanguage, std::string_view query) {
    for (const std::string_view chosen : {"lang=en", "lang=ja"}) {
        if (query == chosen || query.starts_with(std::string(chosen) + "&") ||
            query.find("&" + std::string(chosen)) != std::string_view::npos) {
            return std::string(chosen.substr(chosen.size() - 2));
        }
    }
    // The browser's first choice decides, as the panel follows the desktop's language.
    const std::string lower = Lower(acceptLanguage);
    const auto start = lower.find_first_not_of(" \t");
    return start != std::string::npos && lower.compare(start, 2, "en") == 0 ? "en" : "ja";
}

bool IsKnownPath(std::string_view path) {
    for (const std::string_view known :
         {"/", "/api/state", "/api/output", "/api/voltages", "/api/protection", "/api/trip",
          "/api/program", "/metrics", "/events"}) {
        if (path == known) {
            return true;
        }
    }
    return WebAsset(path).has_value();
}

std::string_view ReasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 409:
        return "Conflict";
    case 415:
        return "Unsupported Media Type";
    case 421:
        return "Misdirected Request";
    case 503:
        return "Service Unavailable";
    default:
        return "Error";
    }
}

} // namespace pelmora::server
