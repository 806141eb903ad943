#include "cli/file_access.h"
#include "link/system_error_text.h"

#include <windows.h>

namespace pelmora::cli {

// Windows tells the rights of the user only by opening the file; its attributes tell whether
// the file may be written at all and whether a directory is there to make it in.
std::optional<std::string> WhyNotWritable(const std::filesystem::path& file) {
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return SystemErrorText(ERROR_ACCESS_DENIED);
        }
        return std::nullopt;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) {
        return SystemErrorText(static_cast<int>(error));
    }
    const std::filesystem::path directory = file.has_parent_path() ? file.parent_path() : ".";
    const DWORD directoryAttributes = ::GetFileAttributesW(directory.c_str());
    if (directoryAttributes == INVALID_FILE_ATTRIBUTES) {
        return SystemErrorText(static_cast<int>(::GetLastError()));
    }
    if ((directoryAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        return SystemErrorText(ERROR_DIRECTORY);
    }
    return std::nullopt;
}

} // namespace pelmora::cli
