#pragma once

#include "server/client_set.h"
#include "server/listen_address.h"
#include "server/server_log.h"

#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <vector>

namespace pelmora::server {

// Accepts connections on a bound socket and hands those from an allowed address to the client
// set; it does nothing else.
class Listener {
public:
    // `allowed` empty lets every peer in.
    Listener(asio::ip::tcp::acceptor& acceptor, std::vector<AddressRange> allowed,
             ClientSet& clients, ServerLog& log);
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    void Start();
    void Stop();

private:
    void Accept();
    void Accepted(asio::ip::tcp::socket socket);

    asio::ip::tcp::acceptor& m_acceptor;
    asio::steady_timer m_retry;
    std::vector<AddressRange> m_allowed;
    ClientSet& m_clients;
    ServerLog& m_log;
    bool m_stopped = false;
};

// Opens, binds and listens, or gives the reason it cannot; the port the system chose for 0.
std::uint16_t Listen(asio::ip::tcp::acceptor& acceptor, const ListenAddress& listen,
                     std::error_code& error);

} // namespace pelmora::server
