#include "tests/support/cli_runner.h"

#include "link/port_list.h"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

const char* const kCliProgram = PELMORA_CLI_EXECUTABLE;

namespace {

constexpr auto kReapPoll = std::chrono::milliseconds(2);

std::string TemporaryFile() {
    std::string name = "/tmp/pelmora-cli-test-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        throw std::runtime_error("no temporary file");
    }
    ::fchmod(fd, 0666);
    ::close(fd);
    return name;
}

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

RunningCli::RunningCli(const std::vector<std::string>& arguments, const std::string& ports)
    : m_outFile(TemporaryFile()), m_errFile(TemporaryFile()) {
    std::vector<std::string> argv{kCliProgram};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    if (std::find(arguments.begin(), arguments.end(), "--wait") == arguments.end()) {
        argv.insert(argv.end(), {"--wait", kPatientWaitMs});
    }
    std::vector<std::string> env;
    const std::string assignment = std::string(pelmora::kPortsVariable) + "=";
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (!std::string_view(*entry).starts_with(assignment)) {
            env.emplace_back(*entry);
        }
    }
    env.push_back(assignment + ports);
    const auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> array;
        for (auto& text : strings) {
            array.push_back(text.data());
        }
        array.push_back(nullptr);
        return array;
    };
    auto argvPointers = pointers(argv);
    auto envPointers = pointers(env);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, m_outFile.c_str(), O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, m_errFile.c_str(), O_WRONLY, 0);
    // A fresh process group: signals meant for the test runner do not reach it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const int error = posix_spawn(&m_pid, kCliProgram, &actions, &attributes, argvPointers.data(),
                                  envPointers.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_pid = -1;
    }
}

RunningCli::~RunningCli() {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    ::unlink(m_outFile.c_str());
    ::unlink(m_errFile.c_str());
}

void RunningCli::Signal(int signalNumber) const {
    if (m_pid > 0 && !m_reaped) {
        ::kill(m_pid, signalNumber);
    }
}

std::string RunningCli::OutputSoFar() const {
    return Slurp(m_outFile);
}

std::string RunningCli::ErrorsSoFar() const {
    return Slurp(m_errFile);
}

CliRun RunningCli::Finish(std::chrono::milliseconds bound) {
    CliRun run;
    if (m_pid <= 0) {
        return run;
    }
    const auto deadline = std::chrono::steady_clock::now() + bound;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            m_reaped = true;
            run.out = Slurp(m_outFile);
            run.err = Slurp(m_errFile);
            return run;
        }
        std::this_thread::sleep_for(kReapPoll);
    }
    m_reaped = true;
    run.finished = WIFEXITED(status);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.endingSignal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.coreDumped = WIFSIGNALED(status) && WCOREDUMP(status);
    run.out = Slurp(m_outFile);
    run.err = Slurp(m_errFile);
    return run;
}

CliRun RunCli(const std::vector<std::string>& arguments, const std::string& ports) {
    return RunningCli(arguments, ports).Finish();
}
