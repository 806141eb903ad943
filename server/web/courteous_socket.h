#pragma once

#include <asio/ip/tcp.hpp>
#include <string>
#include <string_view>
#include <utility>

// RESTinio closes a connection whose request it cannot parse without a word to the client. It
// logs the parse error just before the close, on the loop's one thread: the logger marks it,
// and the socket, as it is shut down next, first answers it with a 400, so that the client
// learns what happened. Nothing is parsed here; that stays the library's.
namespace pelmora::server {

namespace detail {
inline thread_local bool t_unparsable = false;
} // namespace detail

// RESTinio's logger: quiet, but for the mark.
class UnparsableLogger {
public:
    template <typename Builder> void trace(Builder&&) const noexcept {}
    template <typename Builder> void info(Builder&&) const noexcept {}
    template <typename Builder> void warn(Builder&&) const noexcept {}
    template <typename Builder> void error(Builder&& builder) const noexcept {
        try {
            const std::string message = builder();
            if (message.find("parser error") != std::string::npos) {
                detail::t_unparsable = true;
            }
        } catch (...) {
            // A message that cannot be built marks nothing.
        }
    }
};

class CourteousSocket : public asio::ip::tcp::socket {
public:
    using asio::ip::tcp::socket::basic_stream_socket;

    void shutdown(shutdown_type what, asio::error_code& error) {
        if (std::exchange(detail::t_unparsable, false)) {
            constexpr std::string_view kBadRequest =
                "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; charset=utf-8\r\n"
                "Content-Length: 30\r\nConnection: close\r\n\r\nthe request could not be read\n";
            // Best effort, never waiting: a client that takes nothing gets nothing.
            asio::error_code ignored;
            non_blocking(true, ignored);
            send(asio::buffer(kBadRequest.data(), kBadRequest.size()), 0, ignored);
        }
        asio::ip::tcp::socket::shutdown(what, error);
    }
};

} // namespace pelmora::server
