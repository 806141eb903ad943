#include "server/server_log.h"

namespace pelmora::server {

namespace {

constexpr std::string_view kPrefix = "pelmora-cli: ";

} // namespace

ServerLog::ServerLog(std::ostream& err, bool quiet, bool verbose)
    : m_err(err), m_quiet(quiet), m_verbose(verbose), m_trace(err) {
    m_trace.rdbuf()->set_emit_on_sync(true);
}

void ServerLog::Event(std::string_view text) {
    if (!m_quiet) {
        Write(text);
    }
}

void ServerLog::Problem(std::string_view text) {
    Write(text);
}

void ServerLog::Traffic(std::string_view text) {
    if (m_verbose) {
        Write(text);
    }
}

void ServerLog::Write(std::string_view text) {
    // Emitted whole when the line's stream ends, under the lock all streams over `m_err` share.
    std::osyncstream(m_err) << kPrefix << text << '\n' << std::flush;
}

} // namespace pelmora::server
