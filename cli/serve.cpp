#include "cli/serve.h"

#include "cli/cli_error.h"
#include "cli/cli_timing.h"
#include "cli/stop_signals.h"
#include "server/bench_server.h"
#include "server/server_error.h"

#include <stop_token>
#include <thread>

namespace pelmora::cli {

int RunServe(const CliOptions& options, std::ostream& out, std::ostream& err) {
    const StopSignals stop;
    server::ServerConfig config;
    config.listen = options.listen;
    config.allowed = options.allowed;
    config.offOnDisconnect = options.offOnDisconnect;
    config.port = options.port;
    config.waitMs = options.waitMs;
    config.quiet = options.quiet;
    config.verbose = options.verbose;
    config.version = PELMORA_VERSION;
    config.http = options.http;
    config.announce = options.announce;
    std::optional<server::BenchServer> served;
    try {
        served.emplace(config, err);
    } catch (const server::ServerError& error) {
        throw CliError(kExitUsage, error.what());
    }
    server::BenchServer& bench = *served;

    const std::jthread stopWatch([&](std::stop_token ended) {
        while (!ended.stop_requested()) {
            if (!stop.SleepFor(timing::kStopCheck)) {
                bench.RequestStop();
                return;
            }
        }
    });

    out << bench.ReadyLines() << '\n' << std::flush;
    bench.Run();

    const std::string stopped = std::string("stopped by ") + stop.SignalName();
    try {
        bench.Finish();
    } catch (const server::ServerError& error) {
        throw CliError(kExitNoSupply, stopped + "; " + error.what());
    }
    bench.Log().Event(stopped + "; the output was switched off");
    return kExitSuccess;
}

} // namespace pelmora::cli
