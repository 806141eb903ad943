#include "link/reply_problem.h"

#include "link/escaped_bytes.h"
#include "link/serial_channel.h"

namespace pelmora {

namespace {

constexpr std::string_view kReplyLead = "ACK";

std::string Quoted(std::string_view bytes) {
    std::string quoted(1, '\'');
    quoted += EscapeBytes(bytes);
    quoted += '\'';
    return quoted;
}

// Whether bytes could be the start of one of the supply's replies, which all begin "ACK".
bool IsReplyStart(std::string_view bytes) {
    return bytes.starts_with(kReplyLead) || kReplyLead.starts_with(bytes);
}

} // namespace

std::string DescribeBadReply(std::string_view port, int waitMs, std::string_view request,
                             const Reply& reply) {
    const std::string name(port);
    const std::string asked = " to " + Quoted(request);
    const std::string wait = std::to_string(waitMs) + " ms";
    switch (reply.end) {
    case ReplyEnd::Silent:
        return name + ": no reply" + asked + " within " + wait +
               "; check that the supply is connected and powered, or allow longer with --wait";
    case ReplyEnd::CutShort:
        if (!IsReplyStart(reply.bytes)) {
            return name + ": unexpected reply" + asked + ": " + Quoted(reply.bytes) +
                   " (no carriage return within " + wait + "); is this the supply?";
        }
        return name + ": reply" + asked + " cut short: only " + Quoted(reply.bytes) + " within " +
               wait + "; allow longer with --wait";
    case ReplyEnd::Overlong:
        return name + ": over-long reply" + asked + ": " + Quoted(reply.bytes) +
               "... with no carriage return; is this the supply?";
    case ReplyEnd::LineGone:
        return name + ": the port went away during " + Quoted(request) +
               "; reconnect the supply and try again";
    case ReplyEnd::NotTaken:
        return name + ": the device did not take " + Quoted(request) + " within " +
               std::to_string(CSerialChannel::kWriteWaitMs) +
               " ms; check the cable and the supply's power";
    case ReplyEnd::Complete:
        break;
    }
    return name + ": unexpected reply" + asked + ": " + Quoted(reply.bytes) +
           "; is this the supply?";
}

} // namespace pelmora
