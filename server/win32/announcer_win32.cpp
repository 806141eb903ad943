#include "server/announcer.h"

namespace pelmora::server {

// pelmora-cli.exe is found by its address: Windows' own DNS-SD (DnsServiceRegister) could
// announce it, but has not been taken up.
std::unique_ptr<Announcer> StartAnnouncer(Announcement, ServerLog&) {
    return nullptr;
}

} // namespace pelmora::server
