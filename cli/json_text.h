#pragma once

#include <string>
#include <string_view>

namespace pelmora::cli {

// A JSON string literal, quotes included, for any bytes, so that whatever a device sent or a
// path holds still makes valid JSON: valid UTF-8 is written as it is, control characters as
// \u escapes, and each byte that is not part of valid UTF-8 (a stray or missing continuation
// byte, an overlong form, a surrogate, beyond U+10FFFF) as \ufffd, the replacement character.
std::string JsonString(std::string_view bytes);

} // namespace pelmora::cli
