// How fast `pelmora-cli serve` answers a C++ client over the loopback, against the simulated
// supply: the round trip of a query it answers itself, of one that asks the supply beside the
// same supply exchange made directly on the port in the same run, and the sustained rate of
// queries answered from its polled samples.
//   serve_bench [seconds of sustained queries]
#include "bench_stats.h"
#include "running_server.h"
#include "scpi_socket.h"
#include "serial_channel.h"
#include "simulated_supply.h"
#include "supply_protocol.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

using Clock = std::chrono::steady_clock;
using pelmora::sim::SimulatedSupply;

namespace {

constexpr double kDefaultSeconds = 3.0;
constexpr int kIdentityTrips = 5000;
constexpr int kSupplyTrips = 1000;
constexpr int kReplyWaitMs = 1000;

// Round trips of one query; the count of those that got no answer goes to `failed`.
std::vector<std::chrono::nanoseconds> Trips(ScpiSocket& client, std::string_view query, int count,
                                            int& failed) {
    std::vector<std::chrono::nanoseconds> trips;
    for (int i = 0; i < count; ++i) {
        const auto start = Clock::now();
        if (client.Query(query)) {
            trips.push_back(Clock::now() - start);
        } else {
            ++failed;
        }
    }
    return trips;
}

// The current request straight on the supply's port, as pelmora-cli read makes it.
std::vector<std::chrono::nanoseconds> DirectTrips(const SimulatedSupply& supply) {
    CSerialChannel channel;
    std::vector<std::chrono::nanoseconds> trips;
    if (!channel.OpenDevice(supply.SlavePath(), pelmora::protocol::kBaudRate)) {
        return trips;
    }
    std::array<char, pelmora::protocol::kReplyCapacity> buffer{};
    for (int i = 0; i < kSupplyTrips; ++i) {
        const auto start = Clock::now();
        channel.WriteWhole(pelmora::protocol::kCurrentRequest);
        std::string reply;
        while (reply.find('\r') == std::string::npos &&
               channel.WaitForInput(kReplyWaitMs) == CSerialChannel::LineWait::Done) {
            reply.append(buffer.data(),
                         static_cast<std::size_t>(channel.Read(buffer.data(), buffer.size())));
        }
        trips.push_back(Clock::now() - start);
    }
    return trips;
}

std::chrono::nanoseconds Median(std::vector<std::chrono::nanoseconds> samples) {
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

    SimulatedSupply direct;
    const auto directTrips = DirectTrips(direct);

    SimulatedSupply served;
    RunningServer server(served.SlavePath(), {"-q"});
    if (!server.Port()) {
        std::fprintf(stderr, "serve_bench: the server did not start:\n%s", server.Errors().c_str());
        return 1;
    }
    ScpiSocket client(*server.Port());
    int failed = 0;
    // The output stays off here, so that the server's current polling does not queue beside
    // the requests measured.
    const auto identityTrips = Trips(client, "*IDN?", kIdentityTrips, failed);
    const auto measureTrips = Trips(client, "MEAS:CURR?", kSupplyTrips, failed);

    std::printf("pelmora-cli serve on the simulated supply, one client over the loopback\n");
    PrintDistribution("*IDN? round trip", identityTrips);
    PrintDistribution("MEAS:CURR? round trip", measureTrips);
    PrintDistribution("the same request directly on the port", directTrips);
    std::printf("%-48s median %8.3f ms\n", "added by the server to a supply exchange",
                Milliseconds(Median(measureTrips) - Median(directTrips)));

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
