#include "cli/remote_link.h"

#include "cli/cli_error.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/read_until.hpp>
#include <asio/write.hpp>
#include <chrono>

namespace pelmora::cli {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kLineEnd = '\n';
constexpr char kCarriageReturn = '\r';
// Far beyond any reply to the lines sent here; a server that sends more without a line end is
// not one to go on with.
constexpr std::size_t kReplyLimit = 64 * 1024;

// Runs the operation just started until it completes or the deadline passes; then `cancel` ends
// it, and false says it ran out of time.
template <typename Cancel>
bool CompleteBy(asio::io_context& io, Clock::time_point deadline, const bool& done, Cancel cancel) {
    io.restart();
    io.run_until(deadline);
    if (done) {
        return true;
    }
    cancel();
    io.restart();
    io.run();
    return false;
}

} // namespace

struct RemoteLink::Connection {
    asio::io_context io;
    asio::ip::tcp::socket socket{io};
    // What came and has not been taken as a reply yet.
    std::string received;
};

RemoteLink::RemoteLink(const RemoteAddress& address, int waitMs, ByteTrace& trace)
    : m_name(AddressLabel(address)), m_waitMs(waitMs), m_trace(trace),
      m_connection(std::make_unique<Connection>()) {
    const auto deadline = Clock::now() + milliseconds(waitMs);
    const std::string cannot = "cannot reach the server at " + m_name + ": ";
    auto& io = m_connection->io;
    auto& socket = m_connection->socket;

    asio::ip::tcp::resolver resolver(io);
    asio::ip::tcp::resolver::results_type endpoints;
    asio::error_code error;
    bool done = false;
    resolver.async_resolve(address.host, std::to_string(address.port),
                           asio::ip::tcp::resolver::numeric_service,
                           [&](const asio::error_code& result, const auto& found) {
                               error = result;
                               endpoints = found;
                               done = true;
                           });
    if (!CompleteBy(io, deadline, done, [&] { resolver.cancel(); })) {
        throw CliError(kExitNoSupply, cannot + "its name was not resolved within " +
                                          std::to_string(waitMs) + " ms; allow longer with --wait");
    }
    if (error) {
        throw CliError(kExitNoSupply, cannot + error.message());
    }

    done = false;
    asio::async_connect(socket, endpoints,
                        [&](const asio::error_code& result, const asio::ip::tcp::endpoint&) {
                            error = result;
                            done = true;
                        });
    if (!CompleteBy(io, deadline, done, [&] { socket.close(); })) {
        throw CliError(kExitNoSupply, cannot + "no connection within " + std::to_string(waitMs) +
                                          " ms; allow longer with --wait");
    }
    if (error) {
        throw CliError(kExitNoSupply,
                       cannot + error.message() + "; is pelmora-cli serve running there?");
    }
    // Each line is one small packet, sent at once.
    socket.set_option(asio::ip::tcp::no_delay(true), error);
    m_trace.Note(m_name, "connected");
}

RemoteLink::~RemoteLink() = default;

RemoteReply RemoteLink::Lost(std::string problem) {
    asio::error_code ignored;
    m_connection->socket.close(ignored);
    return {RemoteEnd::Closed, {}, std::move(problem)};
}

bool RemoteLink::Tell(std::string_view line) {
    auto& io = m_connection->io;
    auto& socket = m_connection->socket;
    if (!socket.is_open()) {
        return false;
    }
    const std::string sent = std::string(line) + kLineEnd;
    m_trace.Sent(m_name, sent);
    asio::error_code error;
    bool done = false;
    asio::async_write(socket, asio::buffer(sent), [&](const asio::error_code& result, std::size_t) {
        error = result;
        done = true;
    });
    if (!CompleteBy(io, Clock::now() + milliseconds(m_waitMs), done, [&] { socket.close(); }) ||
        error) {
        Lost({});
        return false;
    }
    return true;
}

RemoteReply RemoteLink::Ask(std::string_view line) {
    auto& io = m_connection->io;
    auto& socket = m_connection->socket;
    const std::string quoted = "'" + std::string(line) + "'";
    if (!socket.is_open()) {
        return {RemoteEnd::Closed, {}, m_name + ": the connection to the server is gone"};
    }
    const auto deadline = Clock::now() + milliseconds(m_waitMs);

    const std::string sent = std::string(line) + kLineEnd;
    m_trace.Sent(m_name, sent);
    asio::error_code error;
    bool done = false;
    asio::async_write(socket, asio::buffer(sent), [&](const asio::error_code& result, std::size_t) {
        error = result;
        done = true;
    });
    if (!CompleteBy(io, deadline, done, [&] { socket.close(); })) {
        return Lost(m_name + ": the server did not take " + quoted + " within " +
                    std::to_string(m_waitMs) + " ms");
    }
    if (error) {
        return Lost(m_name + ": the server went away before " + quoted + " (" + error.message() +
                    ")");
    }

    for (;;) {
        done = false;
        asio::async_read_until(socket, asio::dynamic_buffer(m_connection->received, kReplyLimit),
                               kLineEnd, [&](const asio::error_code& result, std::size_t) {
                                   error = result;
                                   done = true;
                               });
        if (!CompleteBy(io, deadline, done, [&] { socket.cancel(); })) {
            ++m_owed;
            m_trace.Note(m_name, "no reply within " + std::to_string(m_waitMs) + " ms");
            return {RemoteEnd::Silent,
                    {},
                    m_name + ": no reply to " + quoted + " within " + std::to_string(m_waitMs) +
                        " ms; check the server's log, or allow longer with --wait"};
        }
        if (error == asio::error::eof) {
            return Lost(m_name + ": the server closed the connection during " + quoted);
        }
        if (error == asio::error::not_found) {
            return Lost(m_name + ": the reply to " + quoted + " ran past " +
                        std::to_string(kReplyLimit / 1024) +
                        " KiB without a line end; is a Pelmora server listening there?");
        }
        if (error) {
            return Lost(m_name + ": the connection to the server broke during " + quoted + " (" +
                        error.message() + ")");
        }
        auto& received = m_connection->received;
        const auto end = received.find(kLineEnd);
        std::string reply = received.substr(0, end);
        received.erase(0, end + 1);
        if (m_owed > 0) {
            --m_owed;
            m_trace.Discarded(m_name, reply + kLineEnd);
            continue;
        }
        m_trace.Received(m_name, reply + kLineEnd);
        if (!reply.empty() && reply.back() == kCarriageReturn) {
            reply.pop_back();
        }
        return {RemoteEnd::Complete, std::move(reply), {}};
    }
}

} // namespace pelmora::cli
