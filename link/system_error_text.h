#pragma once

#include <string>

namespace pelmora {

// What the system says about one of its error numbers, e.g. "Input/output error"; the number
// is one the platform's own calls report (errno, or GetLastError() on Windows).
std::string SystemErrorText(int error);

} // namespace pelmora
