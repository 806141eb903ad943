#include "server/web/web_face.h"

#include "scpi/session.h"
#include "server/server_error.h"
#include "server/web/courteous_socket.h"
#include "server/web/metrics_text.h"
#include "server/web/state_json.h"
#include "server/web/web_guard.h"
#include "server/web/web_page.h"
#include "server/web/web_requests.h"

#include <asio/post.hpp>
#include <restinio/all.hpp>

namespace pelmora::server {

namespace {

using Clock = std::chrono::steady_clock;
using restinio::request_handle_t;
using restinio::request_handling_status_t;

// More would be a flood, not a lab.
constexpr std::size_t kMaxConnections = 64;
constexpr std::size_t kMaxViewers = 48;
// A viewer that has this many events unsent is skipped until it catches up: each event holds
// the whole state, so it loses nothing but the steps between. One that stops reading for good
// is closed by the write time limit.
constexpr int kMaxUnsentEvents = 4;
constexpr auto kWriteTimeLimit = std::chrono::seconds(5);
// Keeps proxies and browsers from taking a quiet stream for a dead one, and finds viewers that
// went away without closing.
constexpr auto kHeartbeat = std::chrono::seconds(15);
constexpr std::size_t kReadBuffer = 4096;
constexpr std::size_t kMaxUrl = 2048;
constexpr std::size_t kMaxFieldName = 256;
constexpr std::size_t kMaxFieldValue = 4096;
constexpr std::size_t kMaxFields = 64;
constexpr std::size_t kMaxBody = 16 * 1024;
// The web's own requests get numbers of their own, apart from the SCPI clients'.
constexpr std::uint64_t kFirstRequesterId = std::uint64_t{1} << 62;

struct WebTraits : restinio::traits_t<restinio::asio_timer_manager_t, UnparsableLogger,
                                      restinio::default_request_handler_t, restinio::noop_strand_t,
                                      CourteousSocket> {
    static constexpr bool use_connection_count_limiter = true;
};

using Server = restinio::http_server_t<WebTraits>;
using Stream = restinio::response_builder_t<restinio::chunked_output_t>;

std::string Field(const request_handle_t& request, restinio::http_field_t field) {
    return request->header().get_field_or(field, "");
}

} // namespace

class WebFace::Impl {
public:
    Impl(asio::io_context& io, WebConfig config, scpi::Instrument& instrument, ServerLog& log)
        : m_io(io), m_config(std::move(config)), m_instrument(instrument), m_log(log),
          m_heartbeat(io) {}

    void Attach(SupplyScheduler& scheduler) { m_scheduler = &scheduler; }

    std::uint16_t Open() {
        std::uint16_t port = 0;
        m_server =
            std::make_unique<Server>(restinio::external_io_context(m_io), [&](auto& settings) {
                settings.address(ToAsio(m_config.address.address))
                    .port(m_config.address.port)
                    .buffer_size(kReadBuffer)
                    .max_parallel_connections(kMaxConnections)
                    .write_http_response_timelimit(kWriteTimeLimit)
                    .incoming_http_msg_limits(restinio::incoming_http_msg_limits_t{}
                                                  .max_url_size(kMaxUrl)
                                                  .max_field_name_size(kMaxFieldName)
                                                  .max_field_value_size(kMaxFieldValue)
                                                  .max_field_count(kMaxFields)
                                                  .max_body_size(kMaxBody))
                    .acceptor_post_bind_hook([&port](asio::ip::tcp::acceptor& acceptor) {
                        port = acceptor.local_endpoint().port();
                    })
                    .request_handler(
                        [this](request_handle_t request) { return Handle(std::move(request)); });
            });
        // Opened before the supply is touched, on a loop that runs nothing else yet.
        bool done = false;
        std::string problem;
        m_server->open_async([&done] { done = true; },
                             [&done, &problem](std::exception_ptr failure) {
                                 try {
                                     std::rethrow_exception(failure);
                                 } catch (const std::exception& error) {
                                     problem = error.what();
                                 }
                                 done = true;
                             });
        m_io.restart();
        while (!done && m_io.run_one() > 0) {
        }
        m_io.restart();
        if (!problem.empty() || port == 0) {
            throw ServerError(ServerError::Kind::CannotListen,
                              "cannot serve the page on " +
                                  FormatEndpoint(m_config.address.address, m_config.address.port) +
                                  ": " + (problem.empty() ? "it could not be opened" : problem) +
                                  "; nothing was sent to the supply");
        }
        m_port = port;
        m_guard.emplace(m_config.address, port, OwnHostNames());
        Heartbeat();
        return port;
    }

    void Close() {
        m_closing = true;
        m_heartbeat.cancel();
        for (auto& viewer : m_viewers) {
            viewer.stream->done();
        }
        m_viewers.clear();
        if (m_server) {
            m_server->close_async([] {}, [](std::exception_ptr) {});
        }
    }

    void Changed() {
        if (m_broadcastPending || m_closing) {
            return;
        }
        m_broadcastPending = true;
        asio::post(m_io, [this] {
            m_broadcastPending = false;
            Broadcast();
        });
    }

private:
    struct Viewer {
        std::shared_ptr<Stream> stream;
        std::shared_ptr<int> unsent = std::make_shared<int>(0);
        std::shared_ptr<bool> gone = std::make_shared<bool>(false);
    };

    request_handling_status_t Handle(request_handle_t request) {
        if (!m_scheduler) {
            return Respond(request, {kHttpServiceUnavailable, "the supply is not served yet"});
        }
        const auto refusal =
            m_guard->Refusal(RemoteAddress(request), Field(request, restinio::http_field::host),
                             Field(request, restinio::http_field::origin), m_config.allowed);
        if (refusal) {
            // As the SCPI port logs a peer it turns away: a foreign page or peer is worth knowing.
            m_log.Event(RemoteLabel(request) + " refused over HTTP (" +
                        std::to_string(refusal->status) + "): " + refusal->text);
            return Respond(request, *refusal);
        }
        const std::string path(request->header().path());
        const auto method = request->header().method();
        const bool get =
            method == restinio::http_method_get() || method == restinio::http_method_head();
        if (path == "/" && get) {
            return Respond(request,
                           {kHttpOk, WebPage(PageLanguage(
                                         Field(request, restinio::http_field::accept_language),
                                         std::string(request->header().query())))},
                           "text/html; charset=utf-8");
        }
        if (const auto asset = WebAsset(path); asset && get) {
            return Respond(request, {kHttpOk, std::string(asset->body)}, asset->type);
        }
        if (path == "/api/state" && get) {
            return Respond(request, {kHttpOk, StateJson(m_scheduler->View())}, "application/json");
        }
        if (path == "/api/output" && get) {
            return Respond(request, {kHttpOk, m_scheduler->View().outputOn ? "1" : "0"});
        }
        if (path == "/metrics" && get) {
            return Respond(request, {kHttpOk, MetricsText(m_scheduler->View())},
                           kMetricsContentType);
        }
        // A stream's head cannot be given without starting the stream.
        if (path == "/events" && method == restinio::http_method_get()) {
            return Watch(request);
        }
        if (const auto change = ChangeOf(request, path)) {
            return *change;
        }
        return Respond(request,
                       {IsKnownPath(path) ? kHttpMethodNotAllowed : kHttpNotFound,
                        IsKnownPath(path) ? "that method is not taken here" : "no such page"});
    }

    // A request for a change, or none when the path and method make none.
    std::optional<request_handling_status_t> ChangeOf(const request_handle_t& request,
                                                      const std::string& path) {
        const auto method = request->header().method();
        const bool put = method == restinio::http_method_put();
        const bool del = method == restinio::http_method_delete();
        const bool post = method == restinio::http_method_post();
        if (!put && !del && !post) {
            return std::nullopt;
        }
        // A page on another site can post a form here without asking; it cannot send a PUT, a
        // DELETE or a JSON request without this server's leave, which it never gets.
        if (post && !IsJson(Field(request, restinio::http_field::content_type))) {
            return Respond(request, {kHttpUnsupportedMediaType,
                                     "changes are taken as PUT or DELETE, or as JSON"});
        }
        const std::string body = request->body();
        std::variant<WebChange, WebAnswer> change = WebAnswer{kHttpMethodNotAllowed, {}};
        std::string done;
        if (path == "/api/output" && (put || post)) {
            change = OutputChange(body);
            done = std::holds_alternative<WebChange>(change) &&
                           std::get<WebChange>(change).change == "OUTP ON"
                       ? "1"
                       : "0";
        } else if (path == "/api/voltages" && (put || post)) {
            change = VoltagesChange(body);
        } else if (path == "/api/protection" && (put || post)) {
            change = ProtectionChange(body);
        } else if (path == "/api/trip" && del) {
            change = ClearTrip();
        } else if (path == "/api/program" && del) {
            change = StopProgram();
        } else {
            return std::nullopt;
        }
        if (const auto* answer = std::get_if<WebAnswer>(&change)) {
            return Respond(request, *answer);
        }
        if (const auto refusal = Rehearsal(std::get<WebChange>(change))) {
            return Respond(request, *refusal);
        }
        Carry(std::get<WebChange>(change), request, done);
        return restinio::request_accepted();
    }

    // The change through a session of its own, answered once its check is.
    void Carry(const WebChange& change, request_handle_t request, const std::string& done) {
        auto session = std::make_shared<scpi::Session>(m_instrument);
        session->Receive(change.change + "\n" + change.check + "\n");
        const Requester who{m_nextRequester++, "the web (" + RemoteLabel(request) + ")"};
        Pump(session, who, [this, request, done](const std::string& reply) {
            WebAnswer answer = AnswerOf(reply, done.empty() ? std::string("done") : done);
            if (answer.status == kHttpConflict) {
                answer.text = WhyRefused() + " (" + answer.text + ")";
            }
            Respond(request, answer);
        });
    }

    void Pump(const std::shared_ptr<scpi::Session>& session, const Requester& who,
              std::function<void(const std::string&)> answered) {
        for (;;) {
            auto step = session->Run();
            if (auto* reply = std::get_if<scpi::Reply>(&step)) {
                std::string text = std::move(reply->text);
                if (text.ends_with('\n')) {
                    text.pop_back();
                }
                answered(text);
                return;
            }
            if (auto* act = std::get_if<scpi::Act>(&step)) {
                m_scheduler->Carry(
                    who, act->action,
                    [this, session, who, answered](const scpi::ActionResult& result) {
                        session->Complete(result);
                        Pump(session, who, answered);
                    });
                return;
            }
            answered({});
            return;
        }
    }

    // Why a change was refused as things stand, as the page shows it.
    std::string WhyRefused() const {
        const auto view = m_scheduler->View();
        if (view.trip) {
            return "refused: an over-current trip is latched (" +
                   overcurrent::DescribeTrip(*view.trip) + "); clear it first";
        }
        if (view.program) {
            return "refused: a program is running; stop it first, or switch the output off";
        }
        if (!view.supplyUp || view.supplySilent) {
            return "refused: the supply is not connected or not answering";
        }
        return "refused";
    }

    request_handling_status_t Watch(const request_handle_t& request) {
        std::erase_if(m_viewers, [](const Viewer& viewer) { return *viewer.gone; });
        if (m_viewers.size() >= kMaxViewers) {
            return Respond(request, {kHttpServiceUnavailable, "too many viewers at once"});
        }
        Viewer viewer;
        viewer.stream =
            std::make_shared<Stream>(request->create_response<restinio::chunked_output_t>());
        viewer.stream->append_header(restinio::http_field::content_type, "text/event-stream");
        viewer.stream->append_header(restinio::http_field::cache_control, "no-cache");
        // The state at once, then each change.
        Send(viewer, "event: state\ndata: " + StateJson(m_scheduler->View()) + "\n\n");
        m_viewers.push_back(viewer);
        return restinio::request_accepted();
    }

    void Broadcast() {
        const std::string state = StateJson(m_scheduler->View());
        if (state == m_lastState) {
            return;
        }
        m_lastState = state;
        const std::string event = "event: state\ndata: " + state + "\n\n";
        for (auto& viewer : m_viewers) {
            Send(viewer, event);
        }
        std::erase_if(m_viewers, [](const Viewer& viewer) { return *viewer.gone; });
    }

    void Send(Viewer& viewer, const std::string& event) {
        if (*viewer.gone || *viewer.unsent >= kMaxUnsentEvents) {
            return;
        }
        ++*viewer.unsent;
        viewer.stream->append_chunk(event);
        viewer.stream->flush([unsent = viewer.unsent, gone = viewer.gone](const auto& error) {
            --*unsent;
            if (error) {
                *gone = true;
            }
        });
    }

    void Heartbeat() {
        m_heartbeat.expires_after(kHeartbeat);
        m_heartbeat.async_wait([this](const std::error_code& error) {
            if (error || m_closing) {
                return;
            }
            for (auto& viewer : m_viewers) {
                Send(viewer, ":\n\n");
            }
            std::erase_if(m_viewers, [](const Viewer& viewer) { return *viewer.gone; });
            Heartbeat();
        });
    }

    request_handling_status_t Respond(const request_handle_t& request, const WebAnswer& answer,
                                      std::string_view type = "text/plain; charset=utf-8") {
        const restinio::http_status_line_t status{
            restinio::http_status_code_t{static_cast<std::uint16_t>(answer.status)},
            std::string(ReasonPhrase(answer.status))};
        // A HEAD is told the length a GET would get, without the body: on a kept connection the
        // client would read that body as the start of its next response.
        if (request->header().method() == restinio::http_method_head()) {
            auto response = request->create_response<restinio::user_controlled_output_t>(status);
            Describe(response, answer.status, type);
            response.set_content_length(answer.text.size());
            response.done();
        } else {
            auto response = request->create_response(status);
            Describe(response, answer.status, type);
            response.set_body(answer.text);
            response.done();
        }
        return restinio::request_accepted();
    }

    template <typename Response>
    static void Describe(Response& response, int status, std::string_view type) {
        response.append_header(restinio::http_field::content_type, std::string(type));
        // The page and its data are this server's alone: never framed, never guessed at.
        response.append_header("X-Content-Type-Options", "nosniff");
        response.append_header("X-Frame-Options", "DENY");
        response.append_header("Content-Security-Policy",
                               "default-src 'self'; frame-ancestors 'none'");
        response.append_header(restinio::http_field::cache_control, "no-store");
        if (status == kHttpMisdirected || status == kHttpBadRequest) {
            response.connection_close();
        }
    }

    static IpAddress RemoteAddress(const request_handle_t& request) {
        return FromAsio(request->remote_endpoint().address());
    }

    static std::string RemoteLabel(const request_handle_t& request) {
        const auto remote = request->remote_endpoint();
        return FormatEndpoint(FromAsio(remote.address()), remote.port());
    }

    asio::io_context& m_io;
    WebConfig m_config;
    scpi::Instrument& m_instrument;
    SupplyScheduler* m_scheduler = nullptr;
    ServerLog& m_log;
    std::unique_ptr<Server> m_server;
    std::optional<WebGuard> m_guard;
    std::uint16_t m_port = 0;
    std::vector<Viewer> m_viewers;
    std::string m_lastState;
    asio::steady_timer m_heartbeat;
    std::uint64_t m_nextRequester = kFirstRequesterId;
    bool m_broadcastPending = false;
    bool m_closing = false;
};

WebFace::WebFace(asio::io_context& io, WebConfig config, scpi::Instrument& instrument,
                 ServerLog& log)
    : m_impl(std::make_unique<Impl>(io, std::move(config), instrument, log)) {}

WebFace::~WebFace() = default;

std::uint16_t WebFace::Open() {
    return m_impl->Open();
}

void WebFace::Attach(SupplyScheduler& scheduler) {
    m_impl->Attach(scheduler);
}

void WebFace::Close() {
    m_impl->Close();
}

void WebFace::Changed() {
    m_impl->Changed();
}

} // namespace pelmora::server
