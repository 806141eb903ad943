#include "cli/terminal.h"

#include <windows.h>

namespace pelmora::cli {

// A console has a mode; a file, a pipe or the NUL device has none, though the C library calls
// NUL a terminal.
bool StandardErrorIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

} // namespace pelmora::cli
