#include "app/demo_supply.h"
#include "link/port_list.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr const char* kSimProgram = "pelmora-sim";
// The simulated supply prints its entry at once; a slow machine gets generous time all the same.
constexpr int kEntryWaitMs = 10'000;
constexpr int kCannotRunExitCode = 127;

fs::path SimBesideThisProgram() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    const fs::path beside = self.parent_path() / kSimProgram;
    if (!error && ::access(beside.c_str(), X_OK) == 0) {
        return beside;
    }
    // Not beside it: the one on the PATH, if any.
    return kSimProgram;
}

// Reads up to the first line end, waiting at most kEntryWaitMs in all.
std::string ReadLine(int fd) {
    std::string line;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kEntryWaitMs);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::array<char, 256> chunk{};
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        line.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return line.substr(0, line.find('\n'));
}

} // namespace

DemoSupply::DemoSupply(const std::vector<std::string>& simArguments) {
    const fs::path program = SimBesideThisProgram();
    std::vector<std::string> arguments{program.string()};
    arguments.insert(arguments.end(), simArguments.begin(), simArguments.end());
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    std::array<int, 2> output{-1, -1};
    if (::pipe2(output.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot start the simulated supply: no pipe");
    }
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        // The supply ends with the panel, whichever way the panel ends.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(kCannotRunExitCode);
        }
        ::dup2(output[1], STDOUT_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(kCannotRunExitCode);
    }
    ::close(output[1]);
    if (child < 0) {
        ::close(output[0]);
        throw std::runtime_error("cannot start the simulated supply");
    }
    const std::string line = ReadLine(output[0]);
    ::close(output[0]);
    const std::string lead = std::string(pelmora::kPortsVariable) + '=';
    if (!line.starts_with(lead)) {
        ::kill(child, SIGTERM);
        int status = 0;
        ::waitpid(child, &status, 0);
        throw std::runtime_error("the simulated supply " + program.string() +
                                 " did not start (is pelmora-sim installed?)");
    }
    m_pid = child;
    m_entry = line.substr(lead.size());
}

DemoSupply::~DemoSupply() {
    if (m_pid > 0) {
        ::kill(static_cast<pid_t>(m_pid), SIGTERM);
        int status = 0;
        ::waitpid(static_cast<pid_t>(m_pid), &status, 0);
    }
}
