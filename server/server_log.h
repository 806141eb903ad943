#pragma once

#include <ostream>
#include <string_view>
#include <syncstream>

namespace pelmora::server {

// The server's messages on standard error, one whole line at a time from whichever thread writes:
// the sockets' thread tells of clients and of the supply, the supply's thread traces its bytes.
class ServerLog {
public:
    ServerLog(std::ostream& err, bool quiet, bool verbose);
    ServerLog(const ServerLog&) = delete;
    ServerLog& operator=(const ServerLog&) = delete;

    // Clients and changes of the supply; not with -q.
    void Event(std::string_view text);
    // What went wrong; also with -q.
    void Problem(std::string_view text);
    // Each SCPI line in and out; only with -v.
    void Traffic(std::string_view text);
    bool Verbose() const { return m_verbose; }

    // For the byte trace of the supply's thread: each line it flushes goes out whole.
    std::ostream& TraceStream() { return m_trace; }

private:
    void Write(std::string_view text);

    std::ostream& m_err;
    bool m_quiet;
    bool m_verbose;
    std::osyncstream m_trace;
};

} // namespace pelmora::server
