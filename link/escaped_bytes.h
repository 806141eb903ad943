#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// Bytes as one line of printable ASCII: "\r", "\n" and "\\" as such, other bytes outside
// printable ASCII as "\xNN". For showing what a device sent, whatever it was.
std::string EscapeBytes(std::string_view bytes);

} // namespace pelmora
