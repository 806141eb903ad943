#include "server/bench_server.h"

#include "link/supply_protocol.h"
#include "link/supply_requests.h"
#include "server/announcement.h"
#include "server/server_error.h"

#include <asio/post.hpp>

namespace pelmora::server {

BenchServer::BenchServer(const ServerConfig& config, std::ostream& err)
    : m_log(err, config.quiet, config.verbose), m_trace(m_log.TraceStream(), config.verbose),
      m_instrument(config.version), m_listening(config.listen) {
    std::error_code error;
    m_listening.port = Listen(m_acceptor, config.listen, error);
    if (error) {
        throw ServerError(ServerError::Kind::CannotListen,
                          "cannot listen on " +
                              FormatEndpoint(config.listen.address, config.listen.port) + ": " +
                              error.message() + "; nothing was sent to the supply");
    }

#ifdef PELMORA_HTTP_FACE
    if (config.http) {
        m_web = std::make_unique<WebFace>(m_io, WebConfig{*config.http, config.allowed},
                                          m_instrument, m_log);
        m_webAddress = *config.http;
        m_webAddress.port = m_web->Open();
    }
#endif

    const FoundSupply found = OpenSupply(m_channel, config.port, config.waitMs, m_trace);
    m_label = PortLabel(found.port);
    SupplyLine line(m_channel, m_label, config.waitMs, m_trace);
    // However the process ends, the output does not stay on.
    m_channel.SetLastWords(protocol::kResetCommand);
    SendReset(line);

    m_instrument.SetModel(protocol::ModelOf(found.identity));
    m_instrument.SetPortText(m_label);

    m_watch = std::make_unique<ReturnWatch>(config.port, config.waitMs, m_trace);
    m_watch->Follow(found.port);
    // The executor's events arrive through the loop, so after everything here is built.
    m_worker = MakeSupplyExecutor(m_io, m_channel, std::move(line), m_trace, *m_watch,
                                  SupplyExecutor::Events{[this] { m_scheduler->SupplyLost(); },
                                                         [this](const std::string& port) {
                                                             m_scheduler->SupplyFound(port);
                                                         }});
    m_scheduler =
        std::make_unique<SupplyScheduler>(m_io.get_executor(), m_instrument, *m_worker, m_log);
    m_clients =
        std::make_unique<ClientSet>(m_instrument, *m_scheduler, m_log, config.offOnDisconnect);
    m_listener = std::make_unique<Listener>(m_acceptor, config.allowed, *m_clients, m_log);
#ifdef PELMORA_HTTP_FACE
    if (m_web) {
        m_web->Attach(*m_scheduler);
        m_scheduler->SetChangeListener([this] { m_web->Changed(); });
    }
#endif
    m_scheduler->Start();
    m_listener->Start();

    if (config.announce) {
        std::optional<ListenAddress> page;
#ifdef PELMORA_HTTP_FACE
        if (m_web) {
            page = m_webAddress;
        }
#endif
        Announcement announcement =
            PlanAnnouncement(m_listening, page, m_instrument.Model(), config.version);
        if (!announcement.services.empty()) {
            m_announcer = StartAnnouncer(std::move(announcement), m_log);
        }
    }
}

BenchServer::~BenchServer() = default;

std::string BenchServer::ReadyLines() const {
    std::string lines = "listening on " + FormatEndpoint(m_listening.address, m_listening.port) +
                        ", supply " + m_label;
#ifdef PELMORA_HTTP_FACE
    if (m_web) {
        lines +=
            "\npage at http://" + FormatEndpoint(m_webAddress.address, m_webAddress.port) + "/";
    }
#endif
    return lines;
}

void BenchServer::Run() {
    m_io.run();
}

void BenchServer::RequestStop() {
    asio::post(m_io, [this] {
        m_announcer.reset();
#ifdef PELMORA_HTTP_FACE
        if (m_web) {
            m_web->Close();
        }
#endif
        m_listener->Stop();
        m_scheduler->Stop();
        m_clients->CloseAll();
        m_io.stop();
    });
}

void BenchServer::Finish() {
    if (!m_worker->Finish()) {
        throw ServerError(ServerError::Kind::OutputMayBeOn, "the output could not be switched off");
    }
}

} // namespace pelmora::server
