#include "sim/child_process.h"

#include "link/port_list.h"

#include <cstring>
#include <iostream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace pelmora::sim {

namespace {

constexpr int kSignalExitBase = 128;

std::vector<std::string> ChildEnvironment(std::string_view portsValue) {
    const std::string assignment = std::string(kPortsVariable) + '=';
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with(assignment)) {
            environment.emplace_back(*entry);
        }
    }
    environment.push_back(assignment + std::string(portsValue));
    return environment;
}

// The null-terminated array of pointers that exec wants; valid while `strings` lives.
std::vector<char*> PointerArray(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    pointers.reserve(strings.size() + 1);
    for (auto& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Owns the spawn attributes: the child starts with no signal blocked and the default action
// for each of ours, whatever this process was started with.
class SpawnAttributes {
public:
    explicit SpawnAttributes(const sigset_t& handled) {
        posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&m_attributes, &none);
        posix_spawnattr_setsigdefault(&m_attributes, &handled);
        posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* Get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes{};
};

int ExitStatusOf(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        return kSignalExitBase + WTERMSIG(waitStatus);
    }
    return WEXITSTATUS(waitStatus);
}

} // namespace

int RunCommand(const std::vector<std::string>& command, std::string_view portsValue,
               const sigset_t& handled) {
    std::vector<std::string> arguments = command;
    std::vector<std::string> environment = ChildEnvironment(portsValue);
    const auto argumentPointers = PointerArray(arguments);
    const auto environmentPointers = PointerArray(environment);
    const SpawnAttributes attributes(handled);

    // posix_spawnp rather than fork and exec: the serving thread is running, and between fork
    // and exec a copy of a threaded process may only make async-signal-safe calls.
    pid_t child = 0;
    if (const int error = posix_spawnp(&child, arguments.front().c_str(), nullptr, attributes.Get(),
                                       argumentPointers.data(), environmentPointers.data());
        error != 0) {
        std::cerr << "pelmora-sim: cannot run '" << arguments.front()
                  << "': " << std::strerror(error) << '\n';
        return kCannotRunExitCode;
    }
    for (;;) {
        int signal = 0;
        if (sigwait(&handled, &signal) != 0) {
            continue;
        }
        if (signal != SIGCHLD) {
            ::kill(child, signal);
            continue;
        }
        int status = 0;
        if (::waitpid(child, &status, WNOHANG) == child) {
            return ExitStatusOf(status);
        }
    }
}

} // namespace pelmora::sim
