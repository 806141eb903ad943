#include "tests/support/spawned_program.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(5);

std::vector<std::string> Environment(const std::map<std::string, std::string>& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (!changes.contains(text.substr(0, text.find('=')))) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (!value.empty()) {
            result.push_back(name + '=' + value);
        }
    }
    return result;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (auto& text : strings) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

SpawnedProgram::SpawnedProgram(const std::vector<std::string>& command,
                               const std::map<std::string, std::string>& environment,
                               const std::filesystem::path& standardOutput,
                               const std::filesystem::path& standardError) {
    std::vector<std::string> arguments = command;
    std::vector<std::string> variables = Environment(environment);
    const auto argv = Pointers(arguments);
    const auto envp = Pointers(variables);
    // The child starts with the default signal actions and nothing blocked, whatever the
    // test program has set up for itself.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A group of its own, so that whatever it starts goes with it.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETPGROUP);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    constexpr int kCreate = O_WRONLY | O_CREAT | O_TRUNC;
    if (!standardOutput.empty()) {
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, standardOutput.c_str(), kCreate,
                                         0644);
    }
    if (!standardError.empty()) {
        posix_spawn_file_actions_addopen(&files, STDERR_FILENO, standardError.c_str(), kCreate,
                                         0644);
    }
    const int error =
        ::posix_spawnp(&m_pid, argv[0], &files, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&files);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        throw std::runtime_error("cannot start " + command.front());
    }
}

SpawnedProgram::~SpawnedProgram() {
    ::kill(-m_pid, SIGKILL);
    if (!m_status) {
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

std::optional<int> SpawnedProgram::WaitForEnd(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!m_status) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
        } else if (std::chrono::steady_clock::now() > deadline) {
            break;
        } else {
            std::this_thread::sleep_for(kPollInterval);
        }
    }
    return m_status;
}

void SpawnedProgram::Signal(int signalNumber) const {
    if (!m_status) {
        ::kill(m_pid, signalNumber);
    }
}

std::optional<std::string> FindProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= directories.size()) {
        const std::size_t end = directories.find(':', start);
        const std::filesystem::path candidate =
            std::filesystem::path(directories.substr(start, end - start)) / name;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate.string();
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return std::nullopt;
}

std::string OwnExecutable() {
    return std::filesystem::read_symlink("/proc/self/exe").string();
}
