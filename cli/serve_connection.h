#pragma once

#include "line_framer.h"
#include "serve_log.h"
#include "session.h"

#include <array>
#include <asio/ip/tcp.hpp>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace pelmora::cli {

class ServeConnection;

// What a client's connection asks of the server that accepted it.
class ConnectionHost {
public:
    using Done = std::function<void(const scpi::ActionResult&)>;

    virtual void Carry(ServeConnection& connection, const scpi::SupplyAction& action,
                       Done done) = 0;
    virtual void Closed(ServeConnection& connection) = 0;

protected:
    ~ConnectionHost() = default;
};

// One client: its socket, its SCPI session over the shared instrument and the replies on their
// way out. It reads no further while its session waits for the supply, writes each reply whole
// in one go, and carries out the lines it received before the client's end of stream. A
// client that lets its replies pile up is dropped.
class ServeConnection : public std::enable_shared_from_this<ServeConnection> {
public:
    static constexpr std::size_t kMaxPendingReplyBytes = 64 * 1024;

    ServeConnection(asio::ip::tcp::socket socket, std::string peer, scpi::Instrument& instrument,
                    ConnectionHost& host, ServeLog& log);
    ServeConnection(const ServeConnection&) = delete;
    ServeConnection& operator=(const ServeConnection&) = delete;

    void Start();
    // At once, with nothing more carried out or sent.
    void Close();
    const std::string& Peer() const { return m_peer; }

private:
    static constexpr std::size_t kReadChunk = 4096;

    void Read();
    void Received(std::string_view bytes);
    void Advance();
    void Send(std::string text);
    void WriteFront();
    void EndIfDone();
    void Drop(std::string_view reason);

    asio::ip::tcp::socket m_socket;
    std::string m_peer;
    ConnectionHost& m_host;
    ServeLog& m_log;
    scpi::Session m_session;
    // Cuts the lines again for the -v log, which the session keeps to itself.
    scpi::LineFramer m_traceFramer;
    std::array<char, kReadChunk> m_buffer{};
    std::deque<std::string> m_replies;
    std::size_t m_pendingBytes = 0;
    bool m_reading = false;
    bool m_writing = false;
    bool m_ended = false;
    bool m_closed = false;
};

} // namespace pelmora::cli
