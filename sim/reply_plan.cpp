#include "sim/reply_plan.h"

#include <string_view>

namespace pelmora::sim {

namespace {

// Printable and free of "A", so garbage can never pass for an "ACK" reply, and free of NUL
// and "\r", so it reads as one unbroken piece of text.
constexpr char kXoff = '\x13';

constexpr std::string_view kGarbageAlphabet = "0123456789BCDEFGHIJKLMNOPQRSTUVWXYZ#%&*+-/:;<=>?@";

std::string Garbage(std::size_t length, std::mt19937& random) {
    std::uniform_int_distribution<std::size_t> pick(0, kGarbageAlphabet.size() - 1);
    std::string bytes(length, ' ');
    for (char& byte : bytes) {
        byte = kGarbageAlphabet[pick(random)];
    }
    return bytes;
}

} // namespace

std::vector<ReplyChunk> PlanReply(std::string reply, const SimConfig& config,
                                  std::mt19937& random) {
    if (config.garbageReplies) {
        reply = Garbage(reply.size(), random);
    }
    if (config.xoffAfterReplies) {
        reply += kXoff;
    }
    if (!config.splitGap) {
        return {{config.replyDelay, std::move(reply)}};
    }
    const std::size_t half = reply.size() / 2;
    return {{config.replyDelay, reply.substr(0, half)},
            {config.replyDelay + *config.splitGap, reply.substr(half)}};
}

} // namespace pelmora::sim
