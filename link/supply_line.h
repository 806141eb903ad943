#pragma once

#include "link/byte_trace.h"
#include "link/serial_channel.h"

#include <string>
#include <string_view>

namespace pelmora {

// How the reading of a reply ended.
enum class ReplyEnd {
    // Up to and including its carriage return.
    Complete,
    // Nothing arrived within the wait.
    Silent,
    // Some bytes, but no carriage return within the wait.
    CutShort,
    // More bytes than any reply has, without a carriage return; the rest was thrown away.
    Overlong,
    // The port went away.
    LineGone,
    // The device did not take the request, so no reply was waited for.
    NotTaken,
};

struct Reply {
    ReplyEnd end = ReplyEnd::Silent;
    // What arrived for this reply: for a complete one, up to its carriage return.
    std::string bytes;
};

// Adds a chunk that arrived for `reply`; true once the reply is complete, up to and including
// its carriage return (what came after it is a leftover, like the supply's answer to a command
// that takes none, and is not kept). Complete or not, the reply holds at most
// protocol::kReplyCapacity bytes; more without a carriage return is Overlong.
bool TakeReplyChunk(Reply& reply, std::string_view chunk);

// Throws away what has arrived and was never asked for (a late reply, an answer to a command
// that takes none), so that a request starts on a clean line; traced as discarded under `port`.
void DiscardLeftovers(CSerialChannel& channel, ByteTrace& trace, std::string_view port);

// The port of one supply, as pelmora-cli talks over it: every request starts on a clean line,
// with whatever was left over from earlier thrown away, and its reply is read up to its
// carriage return or until the wait runs out, whichever comes first.
class SupplyLine {
public:
    // `name` is how messages call the port, e.g. "COM3 (/dev/ttyACM0)"; the channel is open.
    SupplyLine(CSerialChannel& channel, std::string name, int waitMs, ByteTrace& trace);

    const std::string& Name() const { return m_name; }
    int WaitMs() const { return m_waitMs; }

    // Throws SupplyError when the device does not take the command or is gone.
    void Send(std::string_view command);
    // Sends a request and reads its reply; a reply that goes wrong is reported, not thrown.
    Reply Request(std::string_view request);

private:
    CSerialChannel::LineWait Transmit(std::string_view bytes);
    Reply ReadReply();
    void DiscardRestOfReply(std::chrono::steady_clock::time_point deadline);

    CSerialChannel& m_channel;
    std::string m_name;
    int m_waitMs;
    ByteTrace& m_trace;
};

} // namespace pelmora
