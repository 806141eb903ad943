#pragma once

#include "link/open_failure.h"

#include <windows.h>

namespace pelmora {

// Why the system refused to open a port. A port that another program holds is refused with
// ERROR_ACCESS_DENIED, since the channel asks for it unshared: that is "busy", not a question
// of rights, which serial ports on Windows do not have per user.
PortProblem OpenProblemOfError(DWORD error);

// Errors that an open port gives once its device has gone away (unplugged, or its line hung
// up); drivers differ in which one they use.
bool ErrorMeansDeviceGone(DWORD error);

} // namespace pelmora
