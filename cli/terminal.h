#pragma once

namespace pelmora::cli {

// Whether the standard error stream is a terminal a person watches, rather than a file or pipe.
bool StandardErrorIsTerminal();

} // namespace pelmora::cli
