#include "cli/file_access.h"
#include "link/system_error_text.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora::cli {

std::optional<std::string> WhyNotWritable(const std::filesystem::path& file) {
    struct stat node {};
    if (::stat(file.c_str(), &node) == 0) {
        if (S_ISDIR(node.st_mode)) {
            return SystemErrorText(EISDIR);
        }
        if (::access(file.c_str(), W_OK) != 0) {
            return SystemErrorText(errno);
        }
        return std::nullopt;
    }
    if (errno != ENOENT) {
        return SystemErrorText(errno);
    }
    const std::filesystem::path directory = file.has_parent_path() ? file.parent_path() : ".";
    if (::stat(directory.c_str(), &node) != 0) {
        return SystemErrorText(errno);
    }
    if (!S_ISDIR(node.st_mode)) {
        return SystemErrorText(ENOTDIR);
    }
    // Search permission too: a file is made in a directory only through it.
    if (::access(directory.c_str(), W_OK | X_OK) != 0) {
        return SystemErrorText(errno);
    }
    return std::nullopt;
}

} // namespace pelmora::cli
