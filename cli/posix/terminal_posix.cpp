#include "cli/terminal.h"

#include <unistd.h>

namespace pelmora::cli {

bool StandardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

} // namespace pelmora::cli
