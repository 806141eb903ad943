#include "link/port_holder.h"

namespace pelmora {

// Windows tells no one which process has a port open short of walking every handle in the
// system, which needs more rights than a user has: the port is reported as in use.
std::optional<PortHolder> FindPortHolder(const std::filesystem::path&) {
    return std::nullopt;
}

std::vector<PortHolder> FindPortOpeners(const std::filesystem::path&) {
    return {};
}

} // namespace pelmora
