#pragma once

#include <string_view>

namespace pelmora::server {

// How the server's last line to a client it will not keep begins: "pelmora-cli serve:
// refused: …" or "pelmora-cli serve: closed: …", so that a client of ours tells it from a reply.
inline constexpr std::string_view kFarewellPrefix = "pelmora-cli serve: ";

} // namespace pelmora::server
