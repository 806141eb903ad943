#include "tests/support/other_user.h"

#include <array>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr const char* kUnprivilegedUser = "nobody";

bool DropPrivileges() {
    if (::geteuid() != 0) {
        return true;
    }
    const passwd* user = ::getpwnam(kUnprivilegedUser);
    return user && ::setgroups(0, nullptr) == 0 && ::setgid(user->pw_gid) == 0 &&
           ::setuid(user->pw_uid) == 0 && ::geteuid() != 0;
}

} // namespace

bool CanRunUnprivileged() {
    return ::geteuid() != 0 || ::getpwnam(kUnprivilegedUser) != nullptr;
}

OtherUserResult RunAsUnprivilegedUser(const std::function<int(std::string& report)>& work) {
    std::array<int, 2> pipe{-1, -1};
    if (::pipe(pipe.data()) != 0) {
        return {};
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        std::string report;
        const int code = DropPrivileges() ? work(report) : 127;
        [[maybe_unused]] const auto written = ::write(pipe[1], report.data(), report.size());
        ::_exit(code);
    }
    ::close(pipe[1]);
    OtherUserResult result;
    std::array<char, 512> chunk{};
    ssize_t got = 0;
    while ((got = ::read(pipe[0], chunk.data(), chunk.size())) > 0) {
        result.report.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(pipe[0]);
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

bool GiveToDialoutGroup(const std::filesystem::path& device) {
    if (::geteuid() != 0) {
        return true;
    }
    const group* dialout = ::getgrnam("dialout");
    return dialout && ::chown(device.c_str(), static_cast<uid_t>(-1), dialout->gr_gid) == 0;
}
