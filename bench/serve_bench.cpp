// How fast `pelmora-cli serve` answers a C++ client over the loopback, against the simulated
// supply: the round trip of a query it answers itself; of one that asks the supply, beside the
// same supply exchange made directly on the port and through Debian's ser2net (the raw byte
// relay a user would set up instead), the three taken in turn so that the machine's ups and
// downs fall on all of them alike; and the sustained rate of queries answered from its polled
// samples.
//   serve_bench [seconds of sustained queries]
#include "bench/bench_stats.h"
#include "link/serial_channel.h"
#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"
#include "tests/support/running_server.h"
#include "tests/support/scpi_socket.h"
#include "tests/support/spawned_program.h"
#include "tests/support/wait_until.h"

#include <arpa/inet.h>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using Clock = std::chrono::steady_clock;
using Trips = std::vector<std::chrono::nanoseconds>;
using pelmora::sim::SimulatedSupply;

namespace {

constexpr double kDefaultSeconds = 3.0;
constexpr int kIdentityTrips = 5000;
constexpr int kSupplyTrips = 2000;
constexpr int kReplyWaitMs = 1000;
constexpr const char* kRelayProgram = "/usr/sbin/ser2net";

// Times one exchange; false when it failed.
template <typename Exchange> bool Timed(Trips& trips, Exchange exchange) {
    const auto start = Clock::now();
    if (!exchange()) {
        return false;
    }
    trips.push_back(Clock::now() - start);
    return true;
}

// Reads from `fd` until the supply's carriage return; false when it did not come.
bool ReadUntilReturn(int fd) {
    std::array<char, pelmora::protocol::kReplyCapacity> buffer{};
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, kReplyWaitMs) <= 0) {
            return false;
        }
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count <= 0) {
            return false;
        }
        if (std::string_view(buffer.data(), static_cast<std::size_t>(count)).find('\r') !=
            std::string_view::npos) {
            return true;
        }
    }
}

// The same on the supply's port, through the channel pelmora-cli reads it with.
bool ReadUntilReturn(CSerialChannel& channel) {
    std::array<char, pelmora::protocol::kReplyCapacity> buffer{};
    for (;;) {
        if (channel.WaitForInput(kReplyWaitMs) != CSerialChannel::LineWait::Done) {
            return false;
        }
        const int count = channel.Read(buffer.data(), static_cast<int>(buffer.size()));
        if (std::string_view(buffer.data(), static_cast<std::size_t>(std::max(0, count)))
                .find('\r') != std::string_view::npos) {
            return true;
        }
    }
}

// A loopback port nobody listens on, for ser2net to take.
std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// ser2net relaying a loopback port byte for byte to the supply's terminal. Without chardelay,
// which would hold each reply back for milliseconds, as a user who measured it would set it.
class Relay {
public:
    explicit Relay(const SimulatedSupply& supply) : m_port(FreePort()) {
        if (::access(kRelayProgram, X_OK) != 0) {
            return;
        }
        const std::string config = "connection: &bench#  accepter: tcp,127.0.0.1," +
                                   std::to_string(m_port) + "#  connector: serialdev," +
                                   supply.SlavePath().string() +
                                   ",921600n81,local#  options:#    chardelay: false";
        // It tells of its mDNS announcement failing, which has nothing to do with the figures.
        m_program.emplace(std::vector<std::string>{kRelayProgram, "-n", "-u", "-Y", config},
                          std::map<std::string, std::string>{}, std::filesystem::path{},
                          "/dev/null");
        WaitUntil([&] {
            m_client.emplace(m_port);
            return m_client->Connected();
        });
    }

    bool Ready() const { return m_client && m_client->Connected(); }
    bool Exchange() {
        return m_client->Send(pelmora::protocol::kCurrentRequest) &&
               ReadUntilReturn(m_client->Descriptor());
    }

private:
    std::uint16_t m_port;
    std::optional<SpawnedProgram> m_program;
    std::optional<ScpiSocket> m_client;
};

std::chrono::nanoseconds Median(Trips samples) {
    if (samples.empty()) {
        return {};
    }
    std::nth_element(samples.begin(),
                     samples.begin() + static_cast<std::ptrdiff_t>(samples.size() / 2),
                     samples.end());
    return samples[samples.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : kDefaultSeconds;

    SimulatedSupply served;
    RunningServer server(served.SlavePath(), {"-q"});
    if (!server.Port()) {
        std::fprintf(stderr, "serve_bench: the server did not start:\n%s", server.Errors().c_str());
        return 1;
    }
    ScpiSocket client(*server.Port());
    SimulatedSupply direct;
    CSerialChannel channel;
    if (!channel.OpenDevice(direct.SlavePath(), pelmora::protocol::kBaudRate)) {
        std::fprintf(stderr, "serve_bench: cannot open the simulated supply\n");
        return 1;
    }
    SimulatedSupply relayed;
    Relay relay(relayed);

    int failed = 0;
    Trips identityTrips;
    for (int i = 0; i < kIdentityTrips; ++i) {
        failed += Timed(identityTrips, [&] { return client.Query("*IDN?").has_value(); }) ? 0 : 1;
    }
    // The output stays off here, so that the server's current polling does not queue beside
    // the requests measured.
    Trips measureTrips;
    Trips directTrips;
    Trips relayTrips;
    for (int i = 0; i < kSupplyTrips; ++i) {
        failed +=
            Timed(measureTrips, [&] { return client.Query("MEAS:CURR?").has_value(); }) ? 0 : 1;
        Timed(directTrips, [&] {
            // As pelmora-cli read makes it, straight on the port.
            return channel.WriteWhole(pelmora::protocol::kCurrentRequest) ==
                       CSerialChannel::LineWait::Done &&
                   ReadUntilReturn(channel);
        });
        if (relay.Ready()) {
            Timed(relayTrips, [&] { return relay.Exchange(); });
        }
    }

    std::printf("pelmora-cli serve on the simulated supply, one client over the loopback\n");
    PrintDistribution("*IDN? round trip", identityTrips);
    PrintDistribution("MEAS:CURR? round trip", measureTrips);
    PrintDistribution("the same request directly on the port", directTrips);
    std::printf("%-48s median %8.3f ms\n", "added by the server to a supply exchange",
                Milliseconds(Median(measureTrips) - Median(directTrips)));
    if (relay.Ready()) {
        PrintDistribution("the same request relayed by ser2net", relayTrips);
        std::printf("%-48s %8.2f x\n", "MEAS:CURR? through serve / through ser2net",
                    static_cast<double>(Median(measureTrips).count()) /
                        static_cast<double>(std::max<long long>(1, Median(relayTrips).count())));
    } else {
        std::printf("%-48s not measured: %s is not installed\n", "relayed by ser2net",
                    kRelayProgram);
    }

    if (client.Query("OUTP ON;*OPC?") != "1" || !client.Query("FETC:CURR?")) {
        std::fprintf(stderr, "serve_bench: the output did not go on\n");
        return 1;
    }
    long long answered = 0;
    const auto start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        if (client.Query("FETC:CURR?")) {
            ++answered;
        } else {
            ++failed;
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%-48s %10.0f queries/s   (%lld in %.1f s)\n", "FETC:CURR?, one after another",
                static_cast<double>(answered) / elapsed, answered, elapsed);
    client.Query("OUTP OFF;*OPC?");
    if (failed > 0) {
        std::printf("%d queries got no answer\n", failed);
    }
    return 0;
}
