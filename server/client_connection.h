#pragma once

#include "scpi/line_framer.h"
#include "scpi/session.h"
#include "server/server_log.h"

#include <array>
#include <asio/ip/tcp.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace pelmora::server {

class ClientConnection;

// What a client's connection asks of the server that accepted it.
class ConnectionHost {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;

    virtual void Carry(ClientConnection& connection, const scpi::SupplyAction& action,
                       Done done) = 0;
    // The client is gone, or has said all it will: its place is free, though lines it sent may
    // still be carried out.
    virtual void PeerEnded(ClientConnection& connection) = 0;
    // Its waits for the next sample and for a program's end will not be wanted.
    virtual void ForgetWaits(ClientConnection& connection) = 0;
    // Nothing of it is left to carry out or to send: it is closed.
    virtual void Finished(ClientConnection& connection) = 0;

protected:
    ~ConnectionHost() = default;
};

// One client: its socket, its SCPI session and the replies on their way out. A read is always
// pending, so that the client's end is seen at once whatever its session waits for; the lines
// it sent before its end are still carried out, in order, but a line that only waits (for a
// program's end, or for the next sample) is given up, since nobody is left for its answer.
// Each reply goes out whole in one write; a client that lets its replies pile up is dropped.
class ClientConnection : public std::enable_shared_from_this<ClientConnection> {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr std::size_t kMaxPendingReplyBytes = 64 * 1024;
    // Lines received while the session waits are held up to this much; beyond it the socket is
    // not read until the session has caught up, so that a flood waits in the client's own
    // buffers, not in the server's memory.
    static constexpr std::size_t kMaxUnreadBytes = 64 * 1024;

    ClientConnection(asio::ip::tcp::socket socket, std::string peer, std::uint64_t id,
                     scpi::Instrument& instrument, ConnectionHost& host, ServerLog& log);
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    void Start();
    // Sends `reason` as its last line and closes, carrying out nothing more: for a client the
    // server will not keep. `logged` is what the log says of it.
    void Dismiss(const std::string& reason, const std::string& logged);
    // At once, with nothing more carried out or sent.
    void Close();

    const std::string& Peer() const { return m_peer; }
    std::uint64_t Id() const { return m_id; }
    // Has nothing to carry out and nothing on its way out; LastActivity() says since when.
    bool Idle() const;
    Clock::time_point LastActivity() const { return m_lastActivity; }

private:
    static constexpr std::size_t kReadChunk = 4096;

    void Read();
    void Received(std::string_view bytes);
    void PeerEnd(const std::string& how);
    void Advance();
    void Handed(const scpi::SupplyAction& action);
    void Send(std::string text);
    void WriteFront();
    void FinishIfDone();
    void Drop(std::string_view reason);
    void StartFarewell();
    // Closes once kFarewellBound has passed, whatever is still on its way.
    void CloseLater();

    asio::ip::tcp::socket m_socket;
    asio::steady_timer m_farewellTimer;
    std::string m_peer;
    std::uint64_t m_id;
    ConnectionHost& m_host;
    ServerLog& m_log;
    scpi::Session m_session;
    // Cuts the lines again for the -v log, which the session keeps to itself.
    scpi::LineFramer m_traceFramer;
    std::array<char, kReadChunk> m_buffer{};
    std::deque<std::string> m_replies;
    std::size_t m_pendingBytes = 0;
    Clock::time_point m_lastActivity = Clock::now();
    bool m_reading = false;
    bool m_writing = false;
    // The session waits for an action the host holds; which one, counted.
    bool m_acting = false;
    bool m_waitsOnly = false;
    std::uint64_t m_actions = 0;
    // The client has ended its side, or can no longer be reached.
    bool m_peerEnded = false;
    // Replies cannot reach the client any more.
    bool m_unreachable = false;
    // Only its last line is still to go out.
    bool m_dismissed = false;
    bool m_closed = false;
};

} // namespace pelmora::server
