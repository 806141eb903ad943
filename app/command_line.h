#pragma once

#include <optional>
#include <ostream>

// The panel's command line, read before the application object exists: that object needs a
// display and ends the program without one, and --help and --version must work anywhere.
// Options of Qt's own (-platform, -display, -style...) are let through for Qt to take.

// Exit status for a command line that cannot be followed.
inline constexpr int kUsageExitCode = 2;

// Empty when the panel is to run; otherwise the program's exit status, after the help, the
// version or a usage error has been written to `out` or `err`.
std::optional<int> ReadCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err);
