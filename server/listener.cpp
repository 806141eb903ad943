#include "server/listener.h"

#include "server/server_timing.h"

namespace pelmora::server {

Listener::Listener(asio::ip::tcp::acceptor& acceptor, std::vector<AddressRange> allowed,
                   ClientSet& clients, ServerLog& log)
    : m_acceptor(acceptor), m_retry(acceptor.get_executor()), m_allowed(std::move(allowed)),
      m_clients(clients), m_log(log) {}

void Listener::Start() {
    Accept();
}

void Listener::Stop() {
    m_stopped = true;
    std::error_code ignored;
    m_acceptor.close(ignored);
    m_retry.cancel();
}

void Listener::Accept() {
    m_acceptor.async_accept([this](const std::error_code& error, asio::ip::tcp::socket socket) {
        if (m_stopped) {
            return;
        }
        if (error) {
            m_log.Problem("cannot accept a client: " + error.message());
            m_retry.expires_after(timing::kAcceptRetry);
            m_retry.async_wait([this](const std::error_code& waited) {
                if (!waited && !m_stopped) {
                    Accept();
                }
            });
            return;
        }
        Accepted(std::move(socket));
        Accept();
    });
}

void Listener::Accepted(asio::ip::tcp::socket socket) {
    std::error_code error;
    const auto remote = socket.remote_endpoint(error);
    if (error) {
        // Gone before it could be looked at.
        return;
    }
    const IpAddress address = FromAsio(remote.address());
    const std::string peer = FormatEndpoint(address, remote.port());
    if (!m_allowed.empty() && !InAnyRange(address, m_allowed)) {
        m_log.Event(peer + " refused: not in the allowed addresses (--allow)");
        socket.close(error);
        return;
    }
    m_clients.Admit(std::move(socket), peer);
}

std::uint16_t Listen(asio::ip::tcp::acceptor& acceptor, const ListenAddress& listen,
                     std::error_code& error) {
    const asio::ip::tcp::endpoint endpoint(ToAsio(listen.address), listen.port);
    acceptor.open(endpoint.protocol(), error);
#ifndef _WIN32
    // A restart finds its port free although the last run's connections linger; Windows would
    // let another program take the port away with this option instead.
    if (!error) {
        acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    }
#endif
    if (!error) {
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    std::uint16_t port = 0;
    if (!error) {
        port = acceptor.local_endpoint(error).port();
    }
    return port;
}

} // namespace pelmora::server
