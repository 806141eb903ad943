#include "server/keep_alive.h"
#include "server/server_timing.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace pelmora::server {

namespace {

void SetTcpOption(int fd, int option, int value) {
    ::setsockopt(fd, IPPROTO_TCP, option, &value, sizeof value);
}

} // namespace

void KeepAlive(asio::ip::tcp::socket& socket) {
    std::error_code ignored;
    socket.set_option(asio::socket_base::keep_alive(true), ignored);
    const int fd = socket.native_handle();
    SetTcpOption(fd, TCP_KEEPIDLE, static_cast<int>(timing::kKeepAliveIdle.count()));
    SetTcpOption(fd, TCP_KEEPINTVL, static_cast<int>(timing::kKeepAliveInterval.count()));
    SetTcpOption(fd, TCP_KEEPCNT, timing::kKeepAliveProbes);
}

} // namespace pelmora::server
