#include "link/port_holder.h"
#include "link/posix/open_devices_posix.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <system_error>
#include <unistd.h>

namespace pelmora {

namespace {

namespace fs = std::filesystem;

constexpr const char* kLockTable = "/proc/locks";
// Waiters for a lock are listed after "->"; they do not hold it.
constexpr std::string_view kWaiterMark = "->";

std::optional<long> ReadNumber(std::string_view text, int base = 10) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::string ProcessName(long pid) {
    std::ifstream comm(fs::path(kProcessDir) / std::to_string(pid) / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

// "MAJOR:MINOR:INODE" of the lock table, major and minor in hexadecimal.
bool SameFile(std::string_view field, const struct stat& file) {
    const auto first = field.find(':');
    const auto second = field.find(':', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
        return false;
    }
    const auto major = ReadNumber(field.substr(0, first), 16);
    const auto minor = ReadNumber(field.substr(first + 1, second - first - 1), 16);
    const auto inode = ReadNumber(field.substr(second + 1));
    return major && minor && inode && static_cast<unsigned>(*major) == ::major(file.st_dev) &&
           static_cast<unsigned>(*minor) == ::minor(file.st_dev) &&
           static_cast<ino_t>(*inode) == file.st_ino;
}

// Lines such as "1: FLOCK  ADVISORY  WRITE 812 00:18:7 0 EOF".
std::optional<long> LockOwner(const struct stat& file) {
    std::ifstream table(kLockTable);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind;
        if (kind == kWaiterMark) {
            continue;
        }
        fields >> mode >> access >> pid >> where;
        const auto owner = ReadNumber(pid);
        if (owner && *owner > 0 && SameFile(where, file)) {
            return owner;
        }
    }
    return std::nullopt;
}

// By process number.
std::vector<long> OtherProcessesWithDeviceOpen(const struct stat& device) {
    std::vector<long> found;
    const long self = ::getpid();
    VisitOpenDevices([&](long pid, int, dev_t opened) {
        if (pid != self && opened == device.st_rdev && (found.empty() || found.back() != pid)) {
            found.push_back(pid);
        }
        return false;
    });
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace

std::optional<PortHolder> FindPortHolder(const fs::path& device) {
    struct stat file {};
    if (::stat(device.c_str(), &file) != 0) {
        return std::nullopt;
    }
    if (const auto owner = LockOwner(file)) {
        return PortHolder{*owner, ProcessName(*owner), true};
    }
    const auto openers = FindPortOpeners(device);
    if (openers.empty()) {
        return std::nullopt;
    }
    return openers.front();
}

std::vector<PortHolder> FindPortOpeners(const fs::path& device) {
    struct stat file {};
    if (::stat(device.c_str(), &file) != 0 || !S_ISCHR(file.st_mode)) {
        return {};
    }
    std::vector<PortHolder> openers;
    for (const long pid : OtherProcessesWithDeviceOpen(file)) {
        openers.push_back({pid, ProcessName(pid), false});
    }
    return openers;
}

} // namespace pelmora
