#include "server/client_connection.h"

#include "link/escaped_bytes.h"
#include "server/server_timing.h"

#include <asio/write.hpp>

namespace pelmora::server {

namespace {

// Waits that only an answer would end: nobody is left for it once the client has gone.
bool OnlyWaits(const scpi::SupplyAction& action) {
    return std::holds_alternative<scpi::ProgramEndAction>(action) ||
           std::holds_alternative<scpi::SampleAction>(action);
}

} // namespace

ClientConnection::ClientConnection(asio::ip::tcp::socket socket, std::string peer, std::uint64_t id,
                                   scpi::Instrument& instrument, ConnectionHost& host,
                                   ServerLog& log)
    : m_socket(std::move(socket)), m_farewellTimer(m_socket.get_executor()),
      m_peer(std::move(peer)), m_id(id), m_host(host), m_log(log), m_session(instrument) {}

void ClientConnection::Start() {
    std::error_code ignored;
    // A reply is one small segment that must leave at once, not wait for the next one.
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    Read();
}

bool ClientConnection::Idle() const {
    return !m_closed && !m_dismissed && !m_peerEnded && !m_acting && !m_writing &&
           m_replies.empty() && m_session.Unread() == 0;
}

void ClientConnection::Read() {
    if (m_closed || m_reading || m_peerEnded) {
        return;
    }
    if (!m_dismissed && m_session.Unread() >= kMaxUnreadBytes) {
        return;
    }
    m_reading = true;
    m_socket.async_read_some(
        asio::buffer(m_buffer),
        [self = shared_from_this()](const std::error_code& error, std::size_t count) {
            self->m_reading = false;
            if (self->m_closed) {
                return;
            }
            if (error == asio::error::eof) {
                self->PeerEnd({});
                return;
            }
            if (error) {
                self->m_unreachable = true;
                self->PeerEnd(error.message());
                return;
            }
            self->Received(std::string_view(self->m_buffer.data(), count));
        });
}

void ClientConnection::Received(std::string_view bytes) {
    m_lastActivity = Clock::now();
    if (m_dismissed) {
        // Read and thrown away, so that the client's own end closes the connection in order.
        Read();
        return;
    }
    if (m_log.Verbose()) {
        m_traceFramer.Receive(bytes);
        while (const auto frame = m_traceFramer.Next()) {
            m_log.Traffic(m_peer + " < " +
                          (frame->overlong ? std::string("(a line too long to take)")
                                           : EscapeBytes(frame->text)));
        }
    }
    m_session.Receive(bytes);
    Advance();
}

void ClientConnection::PeerEnd(const std::string& how) {
    m_peerEnded = true;
    if (m_dismissed) {
        Close();
        return;
    }
    m_log.Event(m_peer + " disconnected" + (how.empty() ? std::string() : " (" + how + ")"));
    m_host.PeerEnded(*this);
    if (m_acting && m_waitsOnly) {
        m_acting = false;
        m_host.ForgetWaits(*this);
        m_session.AbandonLine();
    }
    Advance();
}

void ClientConnection::Advance() {
    while (!m_closed && !m_dismissed && !m_acting) {
        auto step = m_session.Run();
        if (auto* reply = std::get_if<scpi::Reply>(&step)) {
            Send(std::move(reply->text));
            continue;
        }
        if (auto* act = std::get_if<scpi::Act>(&step)) {
            if (m_peerEnded && OnlyWaits(act->action)) {
                m_session.AbandonLine();
                continue;
            }
            Handed(act->action);
        }
        break;
    }
    if (m_peerEnded) {
        FinishIfDone();
    } else {
        Read();
    }
}

void ClientConnection::Handed(const scpi::SupplyAction& action) {
    m_acting = true;
    m_waitsOnly = OnlyWaits(action);
    const std::uint64_t number = ++m_actions;
    m_host.Carry(*this, action,
                 [self = shared_from_this(), number](const scpi::ActionResult& result) {
                     // A result for a wait that was given up, or for a closed client, is
                     // nobody's.
                     if (self->m_closed || !self->m_acting || self->m_actions != number) {
                         return;
                     }
                     self->m_acting = false;
                     self->m_session.Complete(result);
                     self->Advance();
                 });
}

void ClientConnection::Send(std::string text) {
    if (m_closed || m_unreachable) {
        return;
    }
    if (m_log.Verbose()) {
        std::string_view shown = text;
        if (shown.ends_with('\n')) {
            shown.remove_suffix(1);
        }
        m_log.Traffic(m_peer + " > " + EscapeBytes(shown));
    }
    m_lastActivity = Clock::now();
    m_pendingBytes += text.size();
    if (m_pendingBytes > kMaxPendingReplyBytes) {
        Drop("it left over " + std::to_string(kMaxPendingReplyBytes / 1024) +
             " KiB of replies unread");
        return;
    }
    m_replies.push_back(std::move(text));
    WriteFront();
}

void ClientConnection::WriteFront() {
    if (m_writing || m_replies.empty() || m_closed) {
        return;
    }
    m_writing = true;
    asio::async_write(m_socket, asio::buffer(m_replies.front()),
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                          self->m_writing = false;
                          if (self->m_closed) {
                              return;
                          }
                          if (error) {
                              self->m_unreachable = true;
                              self->m_replies.clear();
                              self->m_pendingBytes = 0;
                              if (self->m_dismissed) {
                                  self->Close();
                              } else if (!self->m_peerEnded) {
                                  self->PeerEnd(error.message());
                              } else {
                                  self->FinishIfDone();
                              }
                              return;
                          }
                          self->m_pendingBytes -= self->m_replies.front().size();
                          self->m_replies.pop_front();
                          self->m_lastActivity = Clock::now();
                          if (!self->m_replies.empty()) {
                              self->WriteFront();
                          } else if (self->m_dismissed) {
                              self->StartFarewell();
                          } else {
                              self->FinishIfDone();
                          }
                      });
}

void ClientConnection::FinishIfDone() {
    if (m_closed || !m_peerEnded || m_dismissed || m_acting) {
        return;
    }
    if (m_unreachable || (!m_writing && m_replies.empty())) {
        Close();
        return;
    }
    // The last replies get a while to leave; a client that has stopped reading does not keep
    // the connection for ever.
    CloseLater();
}

void ClientConnection::CloseLater() {
    m_farewellTimer.expires_after(timing::kFarewellBound);
    m_farewellTimer.async_wait([self = shared_from_this()](const std::error_code& error) {
        if (!error) {
            self->Close();
        }
    });
}

void ClientConnection::Dismiss(const std::string& reason, const std::string& logged) {
    if (m_closed || m_dismissed) {
        return;
    }
    m_log.Event(m_peer + " " + logged);
    m_dismissed = true;
    if (m_acting) {
        m_acting = false;
        m_host.ForgetWaits(*this);
    }
    if (!m_peerEnded) {
        m_host.PeerEnded(*this);
    }
    if (m_unreachable || m_peerEnded) {
        Close();
        return;
    }
    CloseLater();
    m_replies.push_back(reason + "\n");
    WriteFront();
    Read();
}

void ClientConnection::StartFarewell() {
    // Its last line is out: the client reads it, then sees the end of the stream; the bytes it
    // still sends are read and dropped until it closes its side, so that nothing it sent turns
    // the close into a reset that could take the line with it.
    std::error_code ignored;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
}

void ClientConnection::Drop(std::string_view reason) {
    // Not told why: a client that reads nothing would not read that either.
    m_log.Event(m_peer + " dropped: " + std::string(reason));
    Close();
}

void ClientConnection::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    m_farewellTimer.cancel();
    if (m_acting) {
        m_acting = false;
        m_host.ForgetWaits(*this);
    }
    std::error_code ignored;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    m_socket.close(ignored);
    m_host.Finished(*this);
}

} // namespace pelmora::server
