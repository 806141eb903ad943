#include "serve.h"

#include "cli_error.h"
#include "cli_timing.h"
#include "port_probe.h"
#include "scpi_server.h"
#include "serve_log.h"
#include "serve_watch.h"
#include "stop_signals.h"
#include "supply_commands.h"
#include "supply_protocol.h"
#include "supply_worker.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <stop_token>
#include <thread>

namespace pelmora::cli {

namespace {

constexpr std::string_view kIdentityPrefix = "ACKPN";

asio::ip::address AsioAddress(const IpAddress& address) {
    if (address.v6) {
        return asio::ip::address_v6(address.bytes);
    }
    asio::ip::address_v4::bytes_type v4{};
    std::copy_n(address.bytes.begin(), v4.size(), v4.begin());
    return asio::ip::address_v4(v4);
}

// Bound and listening, or a usage error with the reason: nothing has gone to any port yet.
void Listen(asio::ip::tcp::acceptor& acceptor, const ListenAddress& listen) {
    const asio::ip::tcp::endpoint endpoint(AsioAddress(listen.address), listen.port);
    std::error_code error;
    acceptor.open(endpoint.protocol(), error);
#ifndef _WIN32
    // A restart finds its port free although the last run's connections linger; Windows would
    // let another program take the port away with this option instead.
    if (!error) {
        acceptor.set_option(asio::ip::tcp::acceptor::reuse_address(true), error);
    }
#endif
    if (!error) {
        acceptor.bind(endpoint, error);
    }
    if (!error) {
        acceptor.listen(asio::socket_base::max_listen_connections, error);
    }
    if (error) {
        throw CliError(kExitUsage, "cannot listen on " +
                                       FormatEndpoint(listen.address, listen.port) + ": " +
                                       error.message() + "; nothing was sent to the supply");
    }
}

// "DRELVOV99" out of "ACKPNDRELVOV99\r".
std::string ModelOf(std::string_view identity) {
    if (identity.starts_with(kIdentityPrefix)) {
        identity.remove_prefix(kIdentityPrefix.size());
    }
    if (identity.ends_with(protocol::kTerminator)) {
        identity.remove_suffix(1);
    }
    return std::string(identity);
}

} // namespace

int RunServe(const CliOptions& options, std::ostream& out, std::ostream& err) {
    const StopSignals stop;
    ServeLog log(err, options.quiet, options.verbose);
    ByteTrace trace(log.TraceStream(), options.verbose);

    asio::io_context io(1);
    asio::ip::tcp::acceptor acceptor(io);
    Listen(acceptor, options.listen);
    const auto bound = acceptor.local_endpoint();

    CSerialChannel channel;
    const FoundSupply found = OpenSupply(channel, options.port, options.waitMs, trace);
    const std::string label = PortLabel(found.port);
    SupplyLine line(channel, label, options.waitMs, trace);
    // However the process ends, the output does not stay on.
    channel.SetLastWords(protocol::kResetCommand);
    SendReset(line);

    scpi::Instrument instrument(PELMORA_VERSION);
    instrument.SetModel(ModelOf(found.identity));
    instrument.SetPortText(label);

    ScpiServer* server = nullptr;
    const auto deliver = [&io](std::function<void()> task) { asio::post(io, std::move(task)); };
    ServeWatch watch(options.port, options.waitMs, trace);
    watch.Follow(found.port);
    SupplyWorker worker(channel, line, watch, deliver,
                        {[&server] { server->SupplyLost(); },
                         [&server](const std::string& port) { server->SupplyFound(port); }});
    ScpiServer scpi(acceptor, instrument, worker, log, {options.allowed, options.offOnDisconnect});
    server = &scpi;
    scpi.Start();

    const std::jthread stopWatch([&](std::stop_token ended) {
        while (!ended.stop_requested()) {
            if (!stop.SleepFor(timing::kStopCheck)) {
                asio::post(io, [&] {
                    scpi.Stop();
                    io.stop();
                });
                return;
            }
        }
    });

    out << "listening on " << FormatEndpoint(options.listen.address, bound.port()) << ", supply "
        << label << '\n'
        << std::flush;
    io.run();

    const bool switchedOff = worker.Finish();
    const std::string stopped = std::string("stopped by ") + stop.SignalName();
    if (!switchedOff) {
        throw CliError(kExitNoSupply, stopped + "; the output could not be switched off");
    }
    log.Event(stopped + "; the output was switched off");
    return kExitSuccess;
}

} // namespace pelmora::cli
