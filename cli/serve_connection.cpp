#include "serve_connection.h"

#include "escaped_bytes.h"

#include <asio/write.hpp>

namespace pelmora::cli {

ServeConnection::ServeConnection(asio::ip::tcp::socket socket, std::string peer,
                                 scpi::Instrument& instrument, ConnectionHost& host, ServeLog& log)
    : m_socket(std::move(socket)), m_peer(std::move(peer)), m_host(host), m_log(log),
      m_session(instrument) {}

void ServeConnection::Start() {
    std::error_code ignored;
    // A reply is one small segment that must leave at once, not wait for the next one.
    m_socket.set_option(asio::ip::tcp::no_delay(true), ignored);
    Read();
}

void ServeConnection::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    std::error_code ignored;
    m_socket.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    m_socket.close(ignored);
    m_host.Closed(*this);
}

void ServeConnection::Read() {
    if (m_closed || m_reading || m_ended || m_session.Waiting()) {
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
                self->m_ended = true;
                self->EndIfDone();
                return;
            }
            if (error) {
                self->Drop(error.message());
                return;
            }
            self->Received(std::string_view(self->m_buffer.data(), count));
        });
}

void ServeConnection::Received(std::string_view bytes) {
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

void ServeConnection::Advance() {
    while (!m_closed) {
        auto step = m_session.Run();
        if (auto* reply = std::get_if<scpi::Reply>(&step)) {
            Send(std::move(reply->text));
            continue;
        }
        if (auto* act = std::get_if<scpi::Act>(&step)) {
            m_host.Carry(*this, act->action,
                         [self = shared_from_this()](const scpi::ActionResult& result) {
                             if (self->m_closed) {
                                 return;
                             }
                             self->m_session.Complete(result);
                             self->Advance();
                         });
            return;
        }
        break;
    }
    if (m_ended) {
        EndIfDone();
    } else {
        Read();
    }
}

void ServeConnection::Send(std::string text) {
    if (m_closed) {
        return;
    }
    if (m_log.Verbose()) {
        std::string_view shown = text;
        if (shown.ends_with('\n')) {
            shown.remove_suffix(1);
        }
        m_log.Traffic(m_peer + " > " + EscapeBytes(shown));
    }
    m_pendingBytes += text.size();
    if (m_pendingBytes > kMaxPendingReplyBytes) {
        Drop("it left over " + std::to_string(kMaxPendingReplyBytes / 1024) +
             " KiB of replies unread");
        return;
    }
    m_replies.push_back(std::move(text));
    WriteFront();
}

void ServeConnection::WriteFront() {
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
                              self->Drop(error.message());
                              return;
                          }
                          self->m_pendingBytes -= self->m_replies.front().size();
                          self->m_replies.pop_front();
                          self->WriteFront();
                          self->EndIfDone();
                      });
}

void ServeConnection::EndIfDone() {
    if (m_ended && !m_session.Waiting() && !m_writing && m_replies.empty()) {
        m_log.Event(m_peer + " disconnected");
        Close();
    }
}

void ServeConnection::Drop(std::string_view reason) {
    if (m_closed) {
        return;
    }
    m_log.Event(m_peer + " dropped: " + std::string(reason));
    Close();
}

} // namespace pelmora::cli
