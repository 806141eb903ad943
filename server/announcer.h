#pragma once

#include "server/announcement.h"
#include "server/server_log.h"

#include <memory>

namespace pelmora::server {

// Keeps the server's services announced on the network for as long as it lives: through the
// daemon that answers for this machine, which may come, go and come back while the server
// runs. Each outcome is a line in the log; none stops the server.
class Announcer {
public:
    virtual ~Announcer() = default;
};

// Starts announcing `announcement`, which names at least one service. Where the platform has
// no way to announce (Windows), a null pointer, and nothing is said.
std::unique_ptr<Announcer> StartAnnouncer(Announcement announcement, ServerLog& log);

} // namespace pelmora::server
