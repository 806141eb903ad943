#pragma once

#include <filesystem>
#include <optional>

namespace pelmora::sim {

// A symbolic link to the simulated terminal, for a port list entry that names a path which
// outlives one run of the simulated supply, as a device's stable name does. An earlier link at
// the path is replaced; the link is removed again when this goes, unless another has taken
// its place meanwhile.
class TerminalLink {
public:
    // No link without a path. Throws std::filesystem::filesystem_error when the path is taken
    // by something other than a symbolic link, or the link cannot be made.
    TerminalLink(std::optional<std::filesystem::path> path, const std::filesystem::path& terminal);
    ~TerminalLink();
    TerminalLink(const TerminalLink&) = delete;
    TerminalLink& operator=(const TerminalLink&) = delete;

private:
    std::optional<std::filesystem::path> m_path;
    std::filesystem::path m_terminal;
};

} // namespace pelmora::sim
