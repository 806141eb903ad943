#pragma once

#include <asio/ip/tcp.hpp>

namespace pelmora::server {

// Has the system probe a connection that has gone quiet, so that a peer that has vanished
// without closing (a machine gone from the network) is found dead within about two minutes
// (server_timing.h) instead of never. A system that refuses is no reason to refuse the client.
void KeepAlive(asio::ip::tcp::socket& socket);

} // namespace pelmora::server
