#include "server/posix/loop_supply_posix.h"

#include "link/port_probe.h"
#include "link/supply_error.h"
#include "link/supply_protocol.h"
#include "link/supply_requests.h"
#include "server/server_timing.h"
#include "server/supply_exchange.h"

#include <array>
#include <asio/post.hpp>
#include <condition_variable>
#include <mutex>
#include <unistd.h>

namespace pelmora::server {

namespace {

using Clock = std::chrono::steady_clock;
using Outcome = scpi::ActionResult::Outcome;

} // namespace

LoopSupply::LoopSupply(asio::io_context& io, CSerialChannel& channel, SupplyLine line,
                       ByteTrace& trace, ReturnWatch& watch, Events events)
    : m_io(io), m_channel(channel), m_line(std::move(line)), m_trace(trace), m_watch(watch),
      m_events(std::move(events)), m_timer(io) {
    WatchInput();
}

LoopSupply::~LoopSupply() {
    if (m_search.joinable()) {
        m_search.request_stop();
        m_search.join();
    }
}

void LoopSupply::WatchInput() {
    const int fd = ::dup(static_cast<int>(m_channel.NativeHandle()));
    if (fd >= 0) {
        m_input.emplace(m_io, fd);
    }
}

void LoopSupply::Send(const SupplyCommand& command, Done done) {
    Job job;
    const bool voltages = command.kind == SupplyCommand::Kind::Voltages;
    job.bytes = voltages ? protocol::BuildVoltageCommand(command.positiveCode, command.negativeCode)
                         : std::string(protocol::kResetCommand);
    job.pause = std::chrono::milliseconds(voltages ? protocol::kVoltageSettleMs : m_line->WaitMs());
    job.done = std::move(done);
    Queue(std::move(job), false);
}

void LoopSupply::SendFirst(const SupplyCommand& command, Done done) {
    Job job;
    job.bytes = command.kind == SupplyCommand::Kind::Voltages
                    ? protocol::BuildVoltageCommand(command.positiveCode, command.negativeCode)
                    : std::string(protocol::kResetCommand);
    job.pause = std::chrono::milliseconds(command.kind == SupplyCommand::Kind::Voltages
                                              ? protocol::kVoltageSettleMs
                                              : m_line->WaitMs());
    job.done = std::move(done);
    Queue(std::move(job), true);
}

void LoopSupply::Measure(Done done) {
    Queue({Job::Kind::CurrentRequest,
           std::string(protocol::kCurrentRequest),
           {},
           false,
           std::move(done)},
          false);
}

void LoopSupply::Poll(Done done) {
    Queue({Job::Kind::CurrentRequest,
           std::string(protocol::kCurrentRequest),
           {},
           true,
           std::move(done)},
          false);
}

void LoopSupply::Identify(Done done) {
    Queue({Job::Kind::IdentityRequest,
           std::string(protocol::kIdentityRequest),
           {},
           false,
           std::move(done)},
          false);
}

void LoopSupply::Release() {
    m_held = false;
    Next();
}

void LoopSupply::Queue(Job job, bool first) {
    if (first) {
        m_queue.push_front(std::move(job));
        m_held = false;
    } else {
        m_queue.push_back(std::move(job));
    }
    Next();
}

void LoopSupply::Next() {
    if (m_current || m_held || m_queue.empty()) {
        return;
    }
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    Start();
}

void LoopSupply::Start() {
    const std::uint64_t job = ++m_started;
    if (!m_present) {
        Complete({Outcome::Gone, {}});
        return;
    }
    DiscardLeftovers(m_channel, m_trace, m_line->Name());
    m_trace.Sent(m_line->Name(), m_current->bytes);
    switch (m_channel.WriteWhole(m_current->bytes)) {
    case CSerialChannel::LineWait::Done:
        break;
    case CSerialChannel::LineWait::TimedOut:
        Complete({Outcome::NoAnswer, {}});
        return;
    case CSerialChannel::LineWait::Gone:
        Lose();
        Complete({Outcome::Gone, {}});
        return;
    }
    if (m_current->kind == Job::Kind::Command) {
        m_timer.expires_after(m_current->pause);
        m_timer.async_wait([this, job](const std::error_code& error) {
            if (!error && Current(job)) {
                Complete({});
            }
        });
        return;
    }
    m_reply = {};
    m_deadline = Clock::now() + std::chrono::milliseconds(m_line->WaitMs());
    m_timer.expires_at(m_deadline);
    m_timer.async_wait([this, job](const std::error_code& error) {
        if (error || !Current(job)) {
            return;
        }
        // Out of time: whatever came is all there is.
        std::error_code ignored;
        m_input->cancel(ignored);
        m_reply.end = m_reply.bytes.empty() ? ReplyEnd::Silent : ReplyEnd::CutShort;
        m_trace.Note(m_line->Name(), "no more within " + std::to_string(m_line->WaitMs()) + " ms");
        Complete(m_current->kind == Job::Kind::CurrentRequest
                     ? MeasuredResult(m_reply, m_channel)
                     : IdentifiedResult(m_reply, m_channel));
    });
    AwaitReply();
}

void LoopSupply::AwaitReply() {
    m_input->async_wait(asio::posix::stream_descriptor::wait_read,
                        [this, job = m_started](const std::error_code& error) {
                            if (!error && Current(job)) {
                                Readable();
                            }
                        });
}

void LoopSupply::Readable() {
    std::array<char, protocol::kReplyCapacity> buffer{};
    const int room = protocol::kReplyCapacity - static_cast<int>(m_reply.bytes.size());
    const int got = m_channel.Read(buffer.data(), room);
    if (got <= 0) {
        // Readable with nothing to read: a line that hung up, or nothing yet after all.
        if (m_channel.IsGone() || m_channel.WaitForInput(0) == CSerialChannel::LineWait::Gone) {
            m_timer.cancel();
            m_reply.end = ReplyEnd::LineGone;
            Lose();
            Complete({Outcome::Gone, {}});
            return;
        }
        AwaitReply();
        return;
    }
    const std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
    m_trace.Received(m_line->Name(), chunk);
    if (!TakeReplyChunk(m_reply, chunk)) {
        AwaitReply();
        return;
    }
    m_timer.cancel();
    // An overlong reply's rest goes with the leftovers before the next request.
    Complete(m_current->kind == Job::Kind::CurrentRequest ? MeasuredResult(m_reply, m_channel)
                                                          : IdentifiedResult(m_reply, m_channel));
}

void LoopSupply::Complete(const scpi::ActionResult& result) {
    Job job = std::move(*m_current);
    m_current.reset();
    if (job.holds) {
        m_held = true;
    }
    asio::post(m_io, [done = std::move(job.done), result] { done(result); });
    Next();
}

void LoopSupply::Lose() {
    if (!m_present) {
        return;
    }
    m_present = false;
    m_input.reset();
    // Closed at once, so that the system can give the returning device its old name.
    m_channel.Close();
    m_watch.Start();
    asio::post(m_io, m_events.lost);
    m_search = std::jthread([this](std::stop_token stop) { Search(stop); });
}

void LoopSupply::Search(std::stop_token stop) {
    // The loop leaves the channel to this thread until the supply is back.
    std::mutex mutex;
    std::condition_variable_any wake;
    const int waitMs = m_line->WaitMs();
    while (!stop.stop_requested()) {
        {
            std::unique_lock lock(mutex);
            wake.wait_for(lock, stop, timing::kLookAgainPeriod, [] { return false; });
        }
        if (stop.stop_requested()) {
            return;
        }
        const auto found = m_watch.Look(m_channel);
        if (!found) {
            continue;
        }
        const std::string label = PortLabel(*found);
        SupplyLine line(m_channel, label, waitMs, m_trace);
        // Whatever the supply kept from before is switched off before anyone is told it is back.
        m_channel.SetLastWords(protocol::kResetCommand);
        try {
            SendReset(line);
        } catch (const SupplyError&) {
            m_channel.Close();
            continue;
        }
        asio::post(m_io, [this, label] { Found(label); });
        return;
    }
}

void LoopSupply::Found(const std::string& label) {
    if (m_search.joinable()) {
        m_search.join();
    }
    m_line.emplace(m_channel, label, m_line->WaitMs(), m_trace);
    WatchInput();
    m_present = true;
    m_events.found(label);
    Next();
}

bool LoopSupply::Finish() {
    if (m_search.joinable()) {
        m_search.request_stop();
        m_search.join();
    }
    m_timer.cancel();
    m_input.reset();
    return m_present && ResetAndClose(m_channel, *m_line);
}

} // namespace pelmora::server
