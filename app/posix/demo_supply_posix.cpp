#include "app/demo_supply.h"
#include "link/port_list.h"
#include "sim/unique_fd.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using pelmora::sim::UniqueFd;

constexpr const char* kSimProgram = "pelmora-sim";
// The simulated supply prints its entry at once; a slow machine gets generous time all the same.
constexpr std::chrono::seconds kEntryWait{10};
constexpr int kCannotRunExitCode = 127;
constexpr const char* kErrorsName = "pelmora-sim errors";
// Enough for any reason it gives; the rest is not read.
constexpr std::size_t kMostSaid = 4096;

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

// The first line that `fd` gives, without its end; empty when none came within kEntryWait.
struct FirstLine {
    std::string text;
    bool timedOut = false;
};

FirstLine ReadLine(int fd) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + kEntryWait;
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            return {{}, true};
        }
        std::array<char, 256> chunk{};
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        line.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return {line.substr(0, line.find('\n')), false};
}

// The first line written to `fd` from its start, without its end.
std::string FirstLineOf(int fd) {
    std::array<char, kMostSaid> said{};
    const ssize_t got = ::pread(fd, said.data(), said.size(), 0);
    if (got <= 0) {
        return {};
    }
    const std::string text(said.data(), static_cast<std::size_t>(got));
    return text.substr(0, text.find('\n'));
}

// In the forked child: runs the simulated supply, its entry going to `output` and what it says
// to `errors`, or writes to `failureReport` the errno of why it could not.
[[noreturn]] void BecomeTheSupply(std::vector<char*>& argv, pid_t parent, int output, int errors,
                                  int failureReport) {
    // The supply ends with the panel, whichever way the panel ends.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) {
        ::_exit(kCannotRunExitCode);
    }
    ::dup2(output, STDOUT_FILENO);
    ::dup2(errors, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    const int error = errno;
    [[maybe_unused]] const ssize_t told = ::write(failureReport, &error, sizeof error);
    ::_exit(kCannotRunExitCode);
}

// Why the simulated supply gave no port entry, once it has ended or been ended for taking too
// long.
std::string WhyItDidNotStart(const FirstLine& line, int errors, const fs::path& program) {
    if (line.timedOut) {
        return "the simulated supply " + program.string() + " gave no port within " +
               std::to_string(kEntryWait.count()) + " s";
    }
    if (const std::string said = FirstLineOf(errors); !said.empty()) {
        return "the simulated supply did not start: " + said;
    }
    return "the simulated supply " + program.string() + " ended without giving its port";
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

    // Its standard error goes to a file of its own: on a start that fails, what it says there
    // is the reason to report, and once it runs it says nothing more there.
    const UniqueFd errors(::memfd_create(kErrorsName, MFD_CLOEXEC));
    std::array<int, 2> output{-1, -1};
    std::array<int, 2> execFailure{-1, -1};
    if (!errors.IsValid() || ::pipe2(output.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot start the simulated supply: no pipe");
    }
    const UniqueFd entryEnd(output[0]);
    UniqueFd outputEnd(output[1]);
    if (::pipe2(execFailure.data(), O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot start the simulated supply: no pipe");
    }
    const UniqueFd failureEnd(execFailure[0]);
    UniqueFd failureReport(execFailure[1]);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
        BecomeTheSupply(argv, parent, outputEnd.Get(), errors.Get(), failureReport.Get());
    }
    outputEnd.Reset();
    failureReport.Reset();
    if (child < 0) {
        throw std::runtime_error("cannot start the simulated supply");
    }
    int execError = 0;
    if (::read(failureEnd.Get(), &execError, sizeof execError) == sizeof execError) {
        ::waitpid(child, nullptr, 0);
        throw std::runtime_error("cannot run " + program.string() + ": " +
                                 std::strerror(execError) + " (is pelmora-sim installed?)");
    }
    const FirstLine line = ReadLine(entryEnd.Get());
    const std::string lead = std::string(pelmora::kPortsVariable) + '=';
    if (!line.text.starts_with(lead)) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        throw std::runtime_error(WhyItDidNotStart(line, errors.Get(), program));
    }
    m_pid = child;
    m_entry = line.text.substr(lead.size());
}

DemoSupply::~DemoSupply() {
    if (m_pid > 0) {
        ::kill(static_cast<pid_t>(m_pid), SIGTERM);
        int status = 0;
        ::waitpid(static_cast<pid_t>(m_pid), &status, 0);
    }
}
