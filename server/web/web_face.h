#pragma once

#include "scpi/instrument.h"
#include "server/listen_address.h"
#include "server/server_log.h"
#include "server/supply_scheduler.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pelmora::server {

struct WebConfig {
    ListenAddress address;
    // As --listen's: empty for every peer.
    std::vector<AddressRange> allowed;
};

// The server's HTTP face, on the same loop as its SCPI clients: a page for people, the state and
// the output for tools (labgrid's REST power driver, scripts), and metrics for Prometheus. A
// change goes through SCPI of its own, so it follows the same rules as any client's. The page
// is kept live by a stream of the state, sent when something changes; viewers see what the
// server polls anyway, and none of them adds traffic on the supply's line.
class WebFace {
public:
    WebFace(asio::io_context& io, WebConfig config, scpi::Instrument& instrument, ServerLog& log);
    ~WebFace();
    WebFace(const WebFace&) = delete;
    WebFace& operator=(const WebFace&) = delete;

    // Binds the address, before anything is sent to the supply; throws ServerError
    // (CannotListen) with the reason. Gives the port, which the system picks for 0.
    std::uint16_t Open();
    // Once the supply is served: until then, requests are answered 503.
    void Attach(SupplyScheduler& scheduler);
    // Stops accepting and ends every connection.
    void Close();
    // Something a viewer sees may have changed.
    void Changed();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pelmora::server
