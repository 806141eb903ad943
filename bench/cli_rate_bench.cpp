// How fast `pelmora-cli monitor --interval 0` records, against the simulated supply: its highest
// sustained sample rate and its cost per sample beyond the supply's own reply time, beside the
// same loop written with Python's pyserial on the same supply in the same run.
//   cli_rate_bench [seconds per run]
#include "bench/bench_stats.h"
#include "link/serial_channel.h"
#include "link/supply_protocol.h"
#include "sim/simulated_supply.h"

#include <array>
#include <cstdlib>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

namespace {

constexpr double kDefaultSeconds = 5.0;
constexpr int kRoundTrips = 500;
constexpr const char* kDefaultPython = "/usr/bin/python3";
constexpr const char* kCsvFile = "/tmp/pelmora-cli-rate-bench.csv";
constexpr std::array kReplyDelays = {0ms, 2ms};

// Runs a program to its end; its exit status, or -1.
int Run(std::vector<std::string> argv, const std::string& ports) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        env.emplace_back(*entry);
    }
    env.push_back("PELMORA_PORTS=" + ports);
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
    pid_t child = 0;
    if (posix_spawn(&child, argv.front().c_str(), nullptr, nullptr, argvPointers.data(),
                    envPointers.data()) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Recording {
    long long rows = 0;
    long long failed = 0;
    double seconds = 0.0;
};

// Rows and the time they span, from the elapsed_s column of a recording.
Recording ReadRecording() {
    std::ifstream csv(kCsvFile);
    std::string line;
    std::getline(csv, line);
    Recording recording;
    double first = -1.0;
    double last = 0.0;
    while (std::getline(csv, line)) {
        std::istringstream fields(line);
        std::string time;
        std::string elapsed;
        std::string positive;
        std::getline(fields, time, ',');
        std::getline(fields, elapsed, ',');
        std::getline(fields, positive, ',');
        last = std::stod(elapsed);
        if (first < 0) {
            first = last;
        }
        ++recording.rows;
        recording.failed += positive.empty() ? 1 : 0;
    }
    recording.seconds = last - std::max(first, 0.0);
    return recording;
}

// The supply's reply time as a host sees it: request out, reply in up to its "\r", nothing
// else in the loop.
double MedianReplyMs(const SimulatedSupply& supply) {
    CSerialChannel channel;
    if (!channel.OpenDevice(supply.SlavePath(), pelmora::protocol::kBaudRate)) {
        return 0.0;
    }
    std::vector<std::chrono::nanoseconds> trips;
    std::array<char, pelmora::protocol::kReplyCapacity> buffer{};
    for (int i = 0; i < kRoundTrips; ++i) {
        const auto start = Clock::now();
        channel.WriteWhole(pelmora::protocol::kCurrentRequest);
        std::string reply;
        while (reply.find('\r') == std::string::npos &&
               channel.WaitForInput(1000) == CSerialChannel::LineWait::Done) {
            reply.append(buffer.data(),
                         static_cast<std::size_t>(channel.Read(buffer.data(), buffer.size())));
        }
        trips.push_back(Clock::now() - start);
    }
    std::sort(trips.begin(), trips.end());
    return Milliseconds(trips[trips.size() / 2]);
}

void Report(const char* who, const Recording& recording, double replyMs) {
    if (recording.rows < 2 || recording.seconds <= 0.0) {
        std::printf("  %-26s no recording\n", who);
        return;
    }
    const double rate = static_cast<double>(recording.rows - 1) / recording.seconds;
    const double periodMs = 1000.0 / rate;
    std::printf("  %-26s %9.0f samples/s   %7.3f ms/sample   %7.3f ms beyond the reply   "
                "(%lld rows, %lld failed)\n",
                who, rate, periodMs, periodMs - replyMs, recording.rows, recording.failed);
}

} // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : kDefaultSeconds;
    const char* python = std::getenv("PELMORA_PYTHON");
    const std::string interpreter = python != nullptr ? python : kDefaultPython;
    const std::string duration = std::to_string(seconds);
    std::printf("monitor --interval 0 against the simulated supply, %.1f s per run\n", seconds);
    for (const auto delay : kReplyDelays) {
        SimConfig config;
        config.replyDelay = delay;
        SimulatedSupply supply(config);
        const std::string ports = "COM3=" + supply.SlavePath().string();
        const double replyMs = MedianReplyMs(supply);
        std::printf("supply reply delay %lld ms: reply time seen by a host, median %.3f ms\n",
                    static_cast<long long>(delay.count()), replyMs);

        if (Run({PELMORA_CLI_EXECUTABLE, "monitor", "--interval", "0", "--duration", duration,
                 "--csv", kCsvFile, "-q"},
                ports) == 0) {
            Report("pelmora-cli", ReadRecording(), replyMs);
        } else {
            std::printf("  pelmora-cli failed\n");
        }
        if (Run({interpreter, PELMORA_PYSERIAL_LOOP, supply.SlavePath().string(), duration,
                 kCsvFile},
                ports) == 0) {
            Report("python3 + pyserial", ReadRecording(), replyMs);
        } else {
            std::printf("  python3 + pyserial failed (set PELMORA_PYTHON to a python3 with "
                        "pyserial)\n");
        }
    }
    ::unlink(kCsvFile);
    return 0;
}
