#include "link/supply_line.h"

#include "link/reply_problem.h"
#include "link/supply_error.h"
#include "link/supply_protocol.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace pelmora {

namespace {

using Clock = std::chrono::steady_clock;
using LineWait = CSerialChannel::LineWait;

// Longer than any reply of the supply; a reply that reaches it without a carriage return is
// garbage however it goes on.
constexpr int kReplyLimit = protocol::kReplyCapacity;
constexpr int kChunk = 64;
// A device that streams without end must not keep the drain from ending.
constexpr std::size_t kMaxDiscardedBytes = 4096;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

bool TakeReplyChunk(Reply& reply, std::string_view chunk) {
    const std::size_t end = chunk.find(protocol::kTerminator);
    if (end != std::string_view::npos) {
        // Whatever came after the carriage return is a leftover, like the supply's answer to a
        // command that takes none: the next request throws it away.
        reply.bytes += chunk.substr(0, end + 1);
        reply.end = ReplyEnd::Complete;
        return true;
    }
    reply.bytes += chunk;
    if (reply.bytes.size() >= static_cast<std::size_t>(kReplyLimit)) {
        reply.end = ReplyEnd::Overlong;
        return true;
    }
    return false;
}

SupplyLine::SupplyLine(CSerialChannel& channel, std::string name, int waitMs, ByteTrace& trace)
    : m_channel(channel), m_name(std::move(name)), m_waitMs(waitMs), m_trace(trace) {}

CSerialChannel::LineWait SupplyLine::Transmit(std::string_view bytes) {
    DiscardLeftovers(m_channel, m_trace, m_name);
    m_trace.Sent(m_name, bytes);
    return m_channel.WriteWhole(bytes);
}

void SupplyLine::Send(std::string_view command) {
    const LineWait sent = Transmit(command);
    if (sent == LineWait::Done) {
        return;
    }
    const Reply none{sent == LineWait::TimedOut ? ReplyEnd::NotTaken : ReplyEnd::LineGone, {}};
    throw SupplyError(SupplyFailure::NoSupply, DescribeBadReply(m_name, m_waitMs, command, none));
}

Reply SupplyLine::Request(std::string_view request) {
    switch (Transmit(request)) {
    case LineWait::Done:
        return ReadReply();
    case LineWait::TimedOut:
        return {ReplyEnd::NotTaken, {}};
    case LineWait::Gone:
        break;
    }
    return {ReplyEnd::LineGone, {}};
}

void DiscardLeftovers(CSerialChannel& channel, ByteTrace& trace, std::string_view port) {
    std::array<char, kChunk> buffer{};
    std::size_t discarded = 0;
    while (discarded < kMaxDiscardedBytes) {
        const int got = channel.Read(buffer.data(), kChunk);
        if (got <= 0) {
            return;
        }
        trace.Discarded(port, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        discarded += static_cast<std::size_t>(got);
    }
}

Reply SupplyLine::ReadReply() {
    const auto deadline = Clock::now() + std::chrono::milliseconds(m_waitMs);
    Reply reply;
    std::array<char, kReplyLimit> buffer{};
    while (reply.bytes.size() < static_cast<std::size_t>(kReplyLimit)) {
        switch (m_channel.WaitForInput(MillisecondsUntil(deadline))) {
        case LineWait::Gone:
            reply.end = ReplyEnd::LineGone;
            return reply;
        case LineWait::TimedOut:
            reply.end = reply.bytes.empty() ? ReplyEnd::Silent : ReplyEnd::CutShort;
            m_trace.Note(m_name, "no more within " + std::to_string(m_waitMs) + " ms");
            return reply;
        case LineWait::Done:
            break;
        }
        const int room = kReplyLimit - static_cast<int>(reply.bytes.size());
        const int got = m_channel.Read(buffer.data(), room);
        const std::string_view chunk(buffer.data(), static_cast<std::size_t>(std::max(0, got)));
        if (chunk.empty()) {
            // Readable with nothing to read: the wait has nothing left to tell before the
            // deadline, so it must not be asked again after it.
            if (Clock::now() >= deadline) {
                reply.end = reply.bytes.empty() ? ReplyEnd::Silent : ReplyEnd::CutShort;
                return reply;
            }
            continue;
        }
        m_trace.Received(m_name, chunk);
        if (TakeReplyChunk(reply, chunk)) {
            if (reply.end == ReplyEnd::Overlong) {
                DiscardRestOfReply(deadline);
            }
            return reply;
        }
    }
    reply.end = ReplyEnd::Overlong;
    DiscardRestOfReply(deadline);
    return reply;
}

void SupplyLine::DiscardRestOfReply(Clock::time_point deadline) {
    std::array<char, kChunk> buffer{};
    std::size_t discarded = 0;
    while (discarded < kMaxDiscardedBytes && Clock::now() < deadline &&
           m_channel.WaitForInput(MillisecondsUntil(deadline)) == LineWait::Done) {
        const int got = m_channel.Read(buffer.data(), kChunk);
        if (got <= 0) {
            continue;
        }
        const std::string_view chunk(buffer.data(), static_cast<std::size_t>(got));
        m_trace.Discarded(m_name, chunk);
        discarded += chunk.size();
        if (chunk.find(protocol::kTerminator) != std::string_view::npos) {
            return;
        }
    }
}

} // namespace pelmora
