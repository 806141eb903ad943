#include "cli/remote_address.h"

#include "link/whole_number.h"

#include <limits>

namespace pelmora::cli {

namespace {

constexpr char kPortSeparator = ':';
constexpr char kOpenBracket = '[';
constexpr char kCloseBracket = ']';

std::optional<std::uint16_t> PortNumber(std::string_view text) {
    const auto number = ParseWholeNumber<int>(text);
    if (!number || *number < 1 || *number > std::numeric_limits<std::uint16_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*number);
}

} // namespace

std::optional<RemoteAddress> ParseRemoteAddress(std::string_view text) {
    RemoteAddress address;
    std::string_view rest;
    if (text.starts_with(kOpenBracket)) {
        const auto close = text.find(kCloseBracket);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        address.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (address.host.find(kPortSeparator) == std::string::npos) {
            return std::nullopt;
        }
    } else {
        const auto separator = text.find(kPortSeparator);
        // Two or more colons without brackets: an IPv6 address, whose last group is no port.
        if (separator != std::string_view::npos &&
            text.find(kPortSeparator, separator + 1) != std::string_view::npos) {
            address.host = text;
            return address;
        }
        address.host = text.substr(0, separator);
        rest = separator == std::string_view::npos ? std::string_view{} : text.substr(separator);
    }
    if (address.host.empty() || address.host.find_first_of(" \t/[]") != std::string::npos) {
        return std::nullopt;
    }
    if (!rest.empty()) {
        if (rest.front() != kPortSeparator) {
            return std::nullopt;
        }
        const auto port = PortNumber(rest.substr(1));
        if (!port) {
            return std::nullopt;
        }
        address.port = *port;
    }
    return address;
}

std::string AddressLabel(const RemoteAddress& address) {
    const bool bracketed = address.host.find(kPortSeparator) != std::string::npos;
    std::string label = bracketed ? kOpenBracket + address.host + kCloseBracket : address.host;
    return label + kPortSeparator + std::to_string(address.port);
}

} // namespace pelmora::cli
