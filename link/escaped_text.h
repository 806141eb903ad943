#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// Bytes as printable ASCII for logs and messages: "\r", "\n", "\t", "\\" and "\"" as such,
// other bytes outside 0x20-0x7E as "\xHH". "ACK\r" reads ACK\r.
std::string EscapedBytes(std::string_view bytes);

} // namespace pelmora
