#pragma once

#include "link/byte_trace.h"
#include "link/port_probe.h"
#include "server/announcer.h"
#include "server/client_set.h"
#include "server/listen_address.h"
#include "server/listener.h"
#include "server/return_watch.h"
#include "server/server_log.h"
#include "server/supply_executor.h"
#include "server/supply_scheduler.h"
#ifdef PELMORA_HTTP_FACE
#include "server/web/web_face.h"
#endif

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace pelmora::server {

struct ServerConfig {
    ListenAddress listen;
    // Empty: every peer.
    std::vector<AddressRange> allowed;
    // The last client leaving switches the output off.
    bool offOnDisconnect = false;
    PortChoice port;
    int waitMs = 0;
    bool quiet = false;
    bool verbose = false;
    // What *IDN? gives as the version.
    std::string version;
    // The web face's address, if it is to be served.
    std::optional<ListenAddress> http;
    // Tell the local network of the services that are not on loopback.
    bool announce = true;
};

// The supply served to SCPI clients on one loop: the listener, the clients, the supply's
// schedule and the thread that talks to the supply.
class BenchServer {
public:
    // Binds the address first, then finds the supply and switches its output off, and then
    // announces itself; logs on `err`. Throws ServerError when it cannot listen (nothing sent
    // to any port), SupplyError when the supply cannot be had.
    BenchServer(const ServerConfig& config, std::ostream& err);
    ~BenchServer();
    BenchServer(const BenchServer&) = delete;
    BenchServer& operator=(const BenchServer&) = delete;

    // "listening on 127.0.0.1:5025, supply COM3 (/dev/ttyUSB0)", then "page at
    // http://127.0.0.1:8080/" with the web face: once clients can connect.
    std::string ReadyLines() const;
    // Serves until RequestStop().
    void Run();
    // From any thread: withdraws the announcement, stops accepting, closes every client and
    // ends Run().
    void RequestStop();
    // After Run(): sends the reset as the last bytes and closes the port. Throws ServerError
    // (OutputMayBeOn) when the supply did not take it.
    void Finish();
    ServerLog& Log() { return m_log; }

private:
    ServerLog m_log;
    ByteTrace m_trace;
    // Outlives the loop: handlers the loop still holds when it goes keep sessions alive, and
    // a session leaves the instrument as it ends.
    scpi::Instrument m_instrument;
    asio::io_context m_io{1};
    asio::ip::tcp::acceptor m_acceptor{m_io};
    ListenAddress m_listening;
    CSerialChannel m_channel;
    std::string m_label;
    std::unique_ptr<ReturnWatch> m_watch;
    std::unique_ptr<SupplyExecutor> m_worker;
    std::unique_ptr<SupplyScheduler> m_scheduler;
    std::unique_ptr<ClientSet> m_clients;
    std::unique_ptr<Listener> m_listener;
#ifdef PELMORA_HTTP_FACE
    std::unique_ptr<WebFace> m_web;
    ListenAddress m_webAddress;
#endif
    std::unique_ptr<Announcer> m_announcer;
};

} // namespace pelmora::server
