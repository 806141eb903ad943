#include "sim/terminal_link.h"

#include <system_error>

namespace pelmora::sim {

namespace fs = std::filesystem;

TerminalLink::TerminalLink(std::optional<fs::path> path, const fs::path& terminal)
    : m_path(std::move(path)), m_terminal(terminal) {
    if (!m_path) {
        return;
    }
    const auto existing = fs::symlink_status(*m_path);
    if (fs::exists(existing)) {
        if (!fs::is_symlink(existing)) {
            throw fs::filesystem_error("not a symbolic link, left alone", *m_path,
                                       std::make_error_code(std::errc::file_exists));
        }
        fs::remove(*m_path);
    }
    fs::create_symlink(m_terminal, *m_path);
}

TerminalLink::~TerminalLink() {
    if (!m_path) {
        return;
    }
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(*m_path, error)) &&
        fs::read_symlink(*m_path, error) == m_terminal) {
        fs::remove(*m_path, error);
    }
}

} // namespace pelmora::sim
