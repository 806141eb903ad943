#pragma once

#include "scpi/call.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelmora::scpi {

using Handler = void (*)(Call&);

struct Command {
    // As the manual writes it, see HeaderPattern.
    std::string_view header;
    Handler handler;
    std::size_t fewestParameters;
    std::size_t mostParameters;
    // The line's changes so far reach the supply before this command runs, so that what it
    // reads or waits for comes after them.
    bool afterChanges;
};

// The command a header names, or nullptr for none.
const Command* FindCommand(const std::vector<std::string>& mnemonics, bool query);

} // namespace pelmora::scpi
