#pragma once

#include "server/client_connection.h"
#include "server/supply_scheduler.h"

#include <asio/ip/tcp.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>

namespace pelmora::server {

// The clients the server holds, and nothing else: it admits a new one while a place is free,
// makes the client idle longest give way when none is, and counts a client's place free as soon
// as the client has gone, while what it sent is still carried out. With `offOnDisconnect`, the
// output goes off once the last client is gone and done.
class ClientSet final : public ConnectionHost {
public:
    // Enough for a lab's scripts, dashboards and one-shot commands at once.
    static constexpr std::size_t kMaxClients = 32;

    ClientSet(scpi::Instrument& instrument, SupplyScheduler& scheduler, ServerLog& log,
              bool offOnDisconnect);
    ClientSet(const ClientSet&) = delete;
    ClientSet& operator=(const ClientSet&) = delete;

    // A connection accepted from `peer`, as "127.0.0.1:40123".
    void Admit(asio::ip::tcp::socket socket, const std::string& peer);
    // Closes every connection, with nothing more carried out.
    void CloseAll();

    void Carry(ClientConnection& connection, const scpi::SupplyAction& action, Done done) override;
    void PeerEnded(ClientConnection& connection) override;
    void ForgetWaits(ClientConnection& connection) override;
    void Finished(ClientConnection& connection) override;

private:
    using Connections = std::set<std::shared_ptr<ClientConnection>>;

    static Connections::iterator Find(Connections& connections, const ClientConnection& which);
    // The client that has been idle longest, if one has been idle long enough to give way.
    std::shared_ptr<ClientConnection> LongestIdle() const;

    scpi::Instrument& m_instrument;
    SupplyScheduler& m_scheduler;
    ServerLog& m_log;
    bool m_offOnDisconnect;
    // Clients that hold a place.
    Connections m_present;
    // Every connection that is not closed yet: those that hold a place, those whose client has
    // gone while their lines are carried out, and those being sent away.
    Connections m_open;
    // Of those, the ones that were admitted as clients.
    std::set<std::uint64_t> m_admittedOpen;
    std::uint64_t m_nextId = 1;
    bool m_closing = false;
};

} // namespace pelmora::server
