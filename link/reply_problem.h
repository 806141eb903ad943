#pragma once

#include "link/supply_line.h"

#include <string>
#include <string_view>

namespace pelmora {

// The one line that says what went wrong with the reply to `request` on the port, read with a
// wait of waitMs, and what to do.
std::string DescribeBadReply(std::string_view port, int waitMs, std::string_view request,
                             const Reply& reply);

} // namespace pelmora
