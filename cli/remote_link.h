#pragma once

#include "cli/remote_address.h"
#include "link/byte_trace.h"

#include <memory>
#include <string>
#include <string_view>

namespace pelmora::cli {

// How waiting for a server's reply ended.
enum class RemoteEnd {
    // A whole line came.
    Complete,
    // Nothing whole within the wait; the connection stays, and the late reply is skipped.
    Silent,
    // The connection is gone.
    Closed,
};

struct RemoteReply {
    RemoteEnd end = RemoteEnd::Closed;
    // The reply without its line end.
    std::string text;
    // For every end but Complete: what went wrong, as one line.
    std::string problem;
};

// One connection to a running pelmora-cli serve, spoken to a line at a time. Every line asked
// holds a query, so it gets exactly one reply, in order, and a line told holds none: a reply
// that came too late is recognised and passed over.
class RemoteLink {
public:
    // Connects within waitMs. Throws CliError (supply not found) with the reason.
    RemoteLink(const RemoteAddress& address, int waitMs, ByteTrace& trace);
    ~RemoteLink();
    RemoteLink(const RemoteLink&) = delete;
    RemoteLink& operator=(const RemoteLink&) = delete;

    // "bench:5025", "[::1]:5025".
    const std::string& Name() const { return m_name; }
    int WaitMs() const { return m_waitMs; }

    // Sends `line` (without its end) and reads its reply, waiting at most waitMs.
    RemoteReply Ask(std::string_view line);
    // Sends a line that holds no query, so gets no reply; false when it could not be sent, and
    // the next Ask() says why.
    bool Tell(std::string_view line);

private:
    struct Connection;

    RemoteReply Lost(std::string problem);

    std::string m_name;
    int m_waitMs;
    ByteTrace& m_trace;
    std::unique_ptr<Connection> m_connection;
    // Replies to earlier lines that did not come within their wait.
    int m_owed = 0;
};

} // namespace pelmora::cli
