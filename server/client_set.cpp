#include "server/client_set.h"

#include "server/farewell.h"
#include "server/keep_alive.h"
#include "server/server_timing.h"

#include <algorithm>

namespace pelmora::server {

ClientSet::ClientSet(scpi::Instrument& instrument, SupplyScheduler& scheduler, ServerLog& log,
                     bool offOnDisconnect)
    : m_instrument(instrument), m_scheduler(scheduler), m_log(log),
      m_offOnDisconnect(offOnDisconnect) {}

ClientSet::Connections::iterator ClientSet::Find(Connections& connections,
                                                 const ClientConnection& which) {
    return std::find_if(connections.begin(), connections.end(),
                        [&](const auto& connection) { return connection.get() == &which; });
}

std::shared_ptr<ClientConnection> ClientSet::LongestIdle() const {
    std::shared_ptr<ClientConnection> longest;
    for (const auto& client : m_present) {
        if (client->Idle() && (!longest || client->LastActivity() < longest->LastActivity())) {
            longest = client;
        }
    }
    if (longest &&
        ClientConnection::Clock::now() - longest->LastActivity() >= timing::kIdleBeforeGivingWay) {
        return longest;
    }
    return nullptr;
}

void ClientSet::Admit(asio::ip::tcp::socket socket, const std::string& peer) {
    if (m_closing) {
        return;
    }
    // A peer that vanishes without a word (a machine gone from the network, a NAT entry that
    // expired) is found out by the system within minutes, instead of holding its place for ever.
    KeepAlive(socket);
    auto client = std::make_shared<ClientConnection>(std::move(socket), peer, m_nextId++,
                                                     m_instrument, *this, m_log);
    m_open.insert(client);
    if (m_present.size() >= kMaxClients) {
        if (const auto idle = LongestIdle()) {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
                ClientConnection::Clock::now() - idle->LastActivity());
            idle->Dismiss(std::string(kFarewellPrefix) + "closed: idle for " +
                              std::to_string(seconds.count()) + " s while " +
                              std::to_string(kMaxClients) + " clients were connected",
                          "gave way to " + peer + " after " + std::to_string(seconds.count()) +
                              " s idle, with every place taken");
        }
    }
    if (m_present.size() >= kMaxClients) {
        client->Start();
        client->Dismiss(std::string(kFarewellPrefix) + "refused: " + std::to_string(kMaxClients) +
                            " clients are connected and busy; try again when one has left",
                        "refused: " + std::to_string(kMaxClients) +
                            " clients are connected and none of them is idle");
        return;
    }
    m_present.insert(client);
    m_admittedOpen.insert(client->Id());
    m_log.Event(peer + " connected (" + std::to_string(m_present.size()) + " of " +
                std::to_string(kMaxClients) + ")");
    client->Start();
}

void ClientSet::CloseAll() {
    m_closing = true;
    const auto open = m_open;
    for (const auto& connection : open) {
        connection->Close();
    }
}

void ClientSet::Carry(ClientConnection& connection, const scpi::SupplyAction& action, Done done) {
    m_scheduler.Carry({connection.Id(), connection.Peer()}, action, std::move(done));
}

void ClientSet::PeerEnded(ClientConnection& connection) {
    if (const auto found = Find(m_present, connection); found != m_present.end()) {
        m_present.erase(found);
    }
}

void ClientSet::ForgetWaits(ClientConnection& connection) {
    m_scheduler.Forget(connection.Id());
}

void ClientSet::Finished(ClientConnection& connection) {
    PeerEnded(connection);
    const auto found = Find(m_open, connection);
    if (found == m_open.end()) {
        return;
    }
    m_open.erase(found);
    // Only the server's own clients count: a refused connection never was one.
    if (m_admittedOpen.erase(connection.Id()) == 0) {
        return;
    }
    if (m_closing || !m_offOnDisconnect || !m_admittedOpen.empty()) {
        return;
    }
    m_scheduler.SwitchOffUnwatched("the last client leaving");
}

} // namespace pelmora::server
