#include "link/port_list.h"
#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/cli_runner.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/spawned_program.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <csignal>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

constexpr const char* kLoopback = "127.0.0.1";
// Starting up, the server finds the supply and resets it before it says it listens.
constexpr auto kStartBound = 10s;
// Each reply through the server may take the server's own patient wait for the supply, and after
// a reset that whole wait again: the client allows well beyond both.
constexpr const char* kClientWaitMs = "5000";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// pelmora-cli serve on a simulated supply, as a bench host runs it.
class ServedSupply {
public:
    explicit ServedSupply(const SimConfig& config = {})
        : supply(config), m_dir(MakeDirectory()),
          m_serve({PELMORA_CLI_EXECUTABLE, "serve", "--listen", std::string(kLoopback) + ":0",
                   "--wait", kPatientWaitMs},
                  {{pelmora::kPortsVariable, Ports()}}, m_dir / "out", m_dir / "err") {
        WaitUntil(
            [&] {
                const auto match =
                    FirstMatch(ReadFile(m_dir / "out"),
                               R"(listening on 127\.0\.0\.1:(\d+), supply COM3 \(.*\)\n)");
                if (match) {
                    m_port = std::stoi((*match)[1]);
                }
                return m_port != 0;
            },
            kStartBound);
    }
    ~ServedSupply() {
        m_serve.Signal(SIGKILL);
        fs::remove_all(m_dir);
    }

    // Zero when the server did not come up.
    int Port() const { return m_port; }
    std::string Address() const { return std::string(kLoopback) + ":" + std::to_string(m_port); }
    std::string Ports() const { return "COM3=" + supply.SlavePath().string(); }
    std::string Log() const { return ReadFile(m_dir / "err"); }
    void Kill() const { m_serve.Signal(SIGKILL); }

    // What came on the wire, but for the current requests that the server's own polling sends
    // as well.
    std::vector<std::string> Changes() const {
        std::vector<std::string> changes;
        for (const auto& logged : supply.Log()) {
            if (logged.bytes != pelmora::protocol::kCurrentRequest) {
                changes.push_back(logged.bytes);
            }
        }
        return changes;
    }

    CliRun Run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--connect", Address(), "--wait", kClientWaitMs});
        // No port here: everything goes through the server.
        return RunCli(arguments, "");
    }

    SimulatedSupply supply;

private:
    static fs::path MakeDirectory() {
        std::string name = "/tmp/pelmora-serve-test-XXXXXX";
        if (::mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("no temporary directory");
        }
        return name;
    }

    fs::path m_dir;
    SpawnedProgram m_serve;
    int m_port = 0;
};

std::size_t CountOf(const SimulatedSupply& supply, std::string_view command) {
    const auto log = supply.Log();
    return static_cast<std::size_t>(std::count_if(
        log.begin(), log.end(), [&](const auto& logged) { return logged.bytes == command; }));
}

// A loopback port where nothing listens: taken from the system, then let go.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace

TEST(RemoteVerbs, EachVerbPrintsWhatItWouldOnThePortAndSetIsOneCommand) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    const std::string address = served.Address();
    const auto startup = served.Changes().size();

    auto run = served.Run({"identify"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with(address + ": Pelmora,DRELVOV99,0,")) << run.out;

    run = served.Run({"set", "5", "-12"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, address + ": output on at +5V / -12V\n");

    run = served.Run({"read"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(MatchesWhole(run.out, R"(pos_mA=[1-9]\d* neg_mA=[1-9]\d*\n)")) << run.out;
    // The read came after the set on the same wire, so the set is logged by now.
    const auto changes = served.Changes();
    EXPECT_EQ(std::vector<std::string>(changes.begin() + static_cast<long>(startup), changes.end()),
              (std::vector<std::string>{"REQPN\r", "V050120\r"}));
    EXPECT_TRUE(served.supply.State().outputOn);

    run = served.Run({"read", "--json"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "{\"port\":\"" + address + "\",\"device\":\"COM3 (" +
                                      served.supply.SlavePath().string() + ")\",\"time\":"))
        << run.out;

    run = served.Run({"-q", "on"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, "");

    run = served.Run({"off"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, address + ": output off\n");
    EXPECT_EQ(served.Changes().back(), pelmora::protocol::kResetCommand);
    EXPECT_FALSE(served.supply.State().outputOn);
}

TEST(RemoteVerbs, MonitorRecordsThroughTheServerAndItsStopSwitchesTheOutputOff) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    ASSERT_EQ(served.Run({"set", "12", "-12"}).exitStatus, 0);
    RunningCli monitor(
        {"--connect", served.Address(), "--wait", kClientWaitMs, "monitor", "--interval", "2"}, "");
    ASSERT_TRUE(WaitUntil(
        [&] { return CountOf(served.supply, pelmora::protocol::kCurrentRequest) >= 20; }, 10s));
    monitor.Signal(SIGINT);
    const auto run = monitor.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(Contains(run.err, "stopped by SIGINT")) << run.err;
    EXPECT_TRUE(Contains(run.err, "the output was switched off")) << run.err;
    EXPECT_EQ(served.Changes().back(), pelmora::protocol::kResetCommand);
    EXPECT_FALSE(served.supply.State().outputOn);

    std::istringstream lines(run.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA");
    int rows = 0;
    while (std::getline(lines, line)) {
        ++rows;
        EXPECT_TRUE(MatchesWhole(line, R"([^,]+,[\d.]+,\d+,\d+,\d+,\d+)")) << line;
    }
    EXPECT_GE(rows, 1);
}

TEST(RemoteVerbs, AServerThatGoesAwayEndsMonitorAsALostPortDoes) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    ASSERT_EQ(served.Run({"set", "5", "-5"}).exitStatus, 0);
    RunningCli monitor(
        {"--connect", served.Address(), "--wait", kClientWaitMs, "monitor", "--interval", "2"}, "");
    ASSERT_TRUE(WaitUntil(
        [&] { return CountOf(served.supply, pelmora::protocol::kCurrentRequest) >= 5; }, 10s));
    served.Kill();
    const auto run = monitor.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, served.Address() + ": the server closed the connection") ||
                Contains(run.err, served.Address() + ": the connection to the server broke"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "the output could not be switched off")) << run.err;
}

TEST(RemoteVerbs, ASupplyLostAtTheServerEndsMonitorAsALostPortDoes) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    ASSERT_EQ(served.Run({"set", "5", "-5"}).exitStatus, 0);
    RunningCli monitor(
        {"--connect", served.Address(), "--wait", kClientWaitMs, "monitor", "--interval", "2"}, "");
    ASSERT_TRUE(WaitUntil(
        [&] { return CountOf(served.supply, pelmora::protocol::kCurrentRequest) >= 5; }, 10s));
    served.supply.Stop();
    const auto run = monitor.Finish();
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, 1) << run.err;
    EXPECT_TRUE(Contains(run.err, served.Address() + ": the supply's port went away at the server"))
        << run.err;
}

TEST(RemoteVerbs, ASupplyTheServerHasLostFailsWithTheReason) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    served.supply.Stop();
    for (const auto& verb : {std::vector<std::string>{"on"}, {"read"}, {"identify"}}) {
        const auto run = served.Run(verb);
        EXPECT_EQ(run.exitStatus, 1) << verb[0] << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "pelmora-cli: " + served.Address() + ": ")) << run.err;
        EXPECT_TRUE(Contains(run.err, "supply")) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(RemoteVerbs, NoServerOrConflictingOptionsFailBeforeAnythingIsSent) {
    const std::string closed = std::string(kLoopback) + ":" + std::to_string(ClosedPort());
    auto run = RunCli({"--connect", closed, "off"}, "");
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err, "pelmora-cli: cannot reach the server at " + closed +
                           ": Connection refused; is pelmora-cli serve running there?\n");

    SimulatedSupply supply;
    const std::string ports = "COM3=" + supply.SlavePath().string();
    const std::vector<std::vector<std::string>> usage = {
        {"--connect", closed, "ports"},
        {"--connect", closed, "--port", "COM3", "read"},
        {"--connect", closed, "read", "--device", supply.SlavePath().string()},
        {"--connect", closed, "serve"},
        {"--connect", "[::1", "read"},
        {"--connect", "bench:99999", "read"},
    };
    for (const auto& arguments : usage) {
        run = RunCli(arguments, ports);
        EXPECT_EQ(run.exitStatus, 2) << arguments[1] << " " << arguments[2] << ": " << run.err;
    }
    EXPECT_TRUE(supply.Log().empty());
}

namespace {

// Something other than a Pelmora server on a loopback port: each line a client sends is
// answered as `answer` says, the empty answer being none; connections are taken one at a time.
class ImpostorServer {
public:
    using Answer = std::function<std::string(const std::string& line)>;

    explicit ImpostorServer(Answer answer)
        : m_answer(std::move(answer)), m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 4);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~ImpostorServer() {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        m_thread.join();
    }
    ImpostorServer(const ImpostorServer&) = delete;
    ImpostorServer& operator=(const ImpostorServer&) = delete;

    std::string Address() const { return std::string(kLoopback) + ":" + std::to_string(m_port); }
    // Every line received, from all connections.
    std::vector<std::string> Lines() const {
        const std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    void Serve() {
        for (;;) {
            const int client = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                return;
            }
            std::string pending;
            std::array<char, 4096> buffer{};
            for (;;) {
                const ssize_t count = ::recv(client, buffer.data(), buffer.size(), 0);
                if (count <= 0) {
                    break;
                }
                pending.append(buffer.data(), static_cast<std::size_t>(count));
                for (auto end = pending.find('\n'); end != std::string::npos;
                     end = pending.find('\n')) {
                    const std::string line = pending.substr(0, end);
                    pending.erase(0, end + 1);
                    {
                        const std::lock_guard lock(m_mutex);
                        m_lines.push_back(line);
                    }
                    const std::string reply = m_answer(line);
                    ::send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
                }
            }
            ::close(client);
        }
    }

    Answer m_answer;
    int m_fd;
    std::uint16_t m_port = 0;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::thread m_thread;
};

} // namespace

TEST(RemoteVerbs, ChangeNothingWhereNoPelmoraServerAnswers) {
    const std::vector<std::pair<std::string, ImpostorServer::Answer>> impostors = {
        {"an echo", [](const std::string& line) { return line + "\n"; }},
        {"another instrument", [](const std::string&) { return "0,\"No error\"\n"; }},
        {"garbage", [](const std::string&) { return std::string("\x1b]0;pwned\x07\n"); }},
        {"a reply without end", [](const std::string&) { return std::string(70 * 1024, 'x'); }},
    };
    for (const auto& [what, answer] : impostors) {
        ImpostorServer impostor(answer);
        for (const auto& verb : {std::vector<std::string>{"set", "5", "-12"},
                                 {"on"},
                                 {"off"},
                                 {"monitor", "--samples", "2"},
                                 {"identify"}}) {
            std::vector<std::string> arguments{"--connect", impostor.Address(), "--wait",
                                               kClientWaitMs};
            arguments.insert(arguments.end(), verb.begin(), verb.end());
            const auto run = RunCli(arguments, "");
            EXPECT_EQ(run.exitStatus, 1) << what << ", " << verb[0] << ": " << run.err;
            EXPECT_EQ(run.out, "") << what << ", " << verb[0];
            EXPECT_TRUE(Contains(run.err, "Pelmora server")) << what << ": " << run.err;
            EXPECT_FALSE(Contains(run.err, "\x1b")) << what << ": " << run.err;
        }
        // Asked who it is, once a connection, and nothing more.
        for (const auto& line : impostor.Lines()) {
            EXPECT_EQ(line, "*IDN?") << what;
        }
    }
}

TEST(RemoteVerbs, AnotherClientsErrorsAreNotTheirs) {
    ServedSupply served;
    ASSERT_NE(served.Port(), 0) << served.Log();
    ScpiSocket bystander(static_cast<std::uint16_t>(served.Port()));
    ASSERT_TRUE(bystander.Send("VOLT 4.5;:VOLT 99\n"));
    EXPECT_EQ(bystander.Query("SYST:ERR:COUN?"), "2");

    auto run = served.Run({"set", "5", "-12"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    run = served.Run({"monitor", "--samples", "3"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    run = served.Run({"off"});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_FALSE(served.supply.State().outputOn);
    // Nobody else read them.
    EXPECT_EQ(bystander.Query("SYST:ERR?;ERR?;ERR?"),
              "-224,\"Illegal parameter value\";-222,\"Data out of range\";0,\"No error\"");
}
