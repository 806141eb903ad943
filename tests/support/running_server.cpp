#include "tests/support/running_server.h"

#include "link/port_list.h"
#include "tests/support/cli_runner.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char* kPortName = "COM3";

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::filesystem::path TemporaryFile(const char* role) {
    static int count = 0;
    return std::filesystem::temp_directory_path() / ("pelmora-serve-" + std::to_string(::getpid()) +
                                                     "-" + std::to_string(++count) + "." + role);
}

} // namespace

RunningServer::RunningServer(const std::filesystem::path& device,
                             const std::vector<std::string>& extraArguments)
    : m_outFile(TemporaryFile("out")), m_errFile(TemporaryFile("err")) {
    std::vector<std::string> command{kCliProgram, "serve",   "--listen", "127.0.0.1:0",
                                     "--port",    kPortName, "--wait",   kPatientWaitMs};
    command.insert(command.end(), extraArguments.begin(), extraArguments.end());
    m_program.emplace(
        command,
        std::map<std::string, std::string>{
            {std::string(pelmora::kPortsVariable), std::string(kPortName) + "=" + device.string()}},
        m_outFile, m_errFile);
    std::optional<std::vector<std::string>> match;
    const bool said = WaitUntil(
        [&] {
            match =
                FirstMatch(Output(), R"(listening on 127\.0\.0\.1:(\d+), supply COM3 \((.*)\)\n)");
            return match || m_program->WaitForEnd(std::chrono::milliseconds(0)).has_value();
        },
        kServeBound);
    if (said && match && (*match)[2] == device.string()) {
        m_port = static_cast<std::uint16_t>(std::stoul((*match)[1]));
    }
}

RunningServer::~RunningServer() {
    m_program.reset();
    std::filesystem::remove(m_outFile);
    std::filesystem::remove(m_errFile);
}

std::string RunningServer::Output() const {
    return Slurp(m_outFile);
}

std::string RunningServer::Errors() const {
    return Slurp(m_errFile);
}

std::string CliDirectory() {
    return std::filesystem::path(kCliProgram).parent_path().string();
}

long ResidentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::stol(line.substr(line.find_first_of("0123456789")));
        }
    }
    return 0;
}
