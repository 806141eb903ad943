#include "link/posix/open_devices_posix.h"

#include "link/whole_number.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace pelmora {

namespace {

namespace fs = std::filesystem;

} // namespace

void VisitOpenDevices(const std::function<bool(long pid, int descriptor, dev_t device)>& visit) {
    // Stepped with error codes throughout: a range-for would throw when a process's entries
    // vanish under it.
    std::error_code error;
    for (fs::directory_iterator process(kProcessDir, error), end; !error && process != end;
         process.increment(error)) {
        const auto pid = ParseWholeNumber<long>(process->path().filename().string());
        if (!pid) {
            continue;
        }
        std::error_code fdError;
        for (fs::directory_iterator entry(process->path() / "fd", fdError);
             !fdError && entry != end; entry.increment(fdError)) {
            const auto descriptor = ParseWholeNumber<int>(entry->path().filename().string());
            struct stat opened {};
            if (descriptor && ::stat(entry->path().c_str(), &opened) == 0 &&
                S_ISCHR(opened.st_mode) && visit(*pid, *descriptor, opened.st_rdev)) {
                return;
            }
        }
    }
}

} // namespace pelmora
