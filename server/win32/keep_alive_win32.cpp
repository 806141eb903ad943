#include "server/keep_alive.h"
#include "server/server_timing.h"

#include <chrono>
#include <mstcpip.h>
#include <winsock2.h>

namespace pelmora::server {

void KeepAlive(asio::ip::tcp::socket& socket) {
    // Windows sends its own fixed number of probes (ten): the interval is what makes the total.
    tcp_keepalive settings{};
    settings.onoff = 1;
    settings.keepalivetime = static_cast<ULONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(timing::kKeepAliveIdle).count());
    settings.keepaliveinterval = static_cast<ULONG>(
        std::chrono::duration_cast<std::chrono::milliseconds>(timing::kKeepAliveInterval).count());
    DWORD returned = 0;
    ::WSAIoctl(socket.native_handle(), SIO_KEEPALIVE_VALS, &settings, sizeof settings, nullptr, 0,
               &returned, nullptr, nullptr);
}

} // namespace pelmora::server
