#pragma once

#include <string>
#include <string_view>

namespace pelmora::cli {

// A JSON string literal, quotes included, for any bytes: control characters and bytes outside
// ASCII are written as \u escapes (a byte stands for the code point of its value), so that
// whatever a device sent still makes valid JSON.
std::string JsonString(std::string_view bytes);

} // namespace pelmora::cli
