#pragma once

#include <string_view>

namespace pelmora {

// The one rule by which text becomes a number everywhere in the program (wait box, port names,
// current fields): leading white space skipped, an optional sign, then digits up to the first
// other character. No digits reads as 0. A run of digits too long for an int saturates at the
// int's limit instead of overflowing.
int DecimalReading(std::string_view text);

} // namespace pelmora
