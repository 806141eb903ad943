#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora::sim {

inline constexpr std::string_view kDefaultIdentitySuffix = "99";
inline constexpr double kDefaultLoadOhms = 100.0;
inline constexpr double kShortOhms = 0.0;
inline constexpr int kDefaultNoiseMa = 2;
inline constexpr std::uint32_t kDefaultSeed = 1;

// From `after` the output first went on, the rails drive these loads instead.
struct LoadChange {
    std::chrono::milliseconds after{0};
    double positiveOhms = kDefaultLoadOhms;
    double negativeOhms = kDefaultLoadOhms;
};

// How the simulated supply behaves. Every fault mode is off by default, which gives a supply
// that answers like a healthy one.
struct SimConfig {
    // The two characters that end the identity reply's model name.
    std::string identitySuffix{kDefaultIdentitySuffix};
    // Each rail drives a resistive load; an infinite one leaves the rail unloaded and 0 ohms
    // shorts it.
    double positiveLoadOhms = kDefaultLoadOhms;
    double negativeLoadOhms = kDefaultLoadOhms;
    // Loads that change on schedule, like a board that fails during a test; the latest change
    // due wins, and of changes due at the same time the one given last.
    std::vector<LoadChange> loadChanges;
    // Each current reading is off by a random amount of at most this many mA either way.
    int noiseMa = kDefaultNoiseMa;
    // Seeds the noise and the garbage, so that a run can be repeated byte for byte.
    std::uint32_t seed = kDefaultSeed;

    // Fault modes.
    // Each reply leaves this long after its command arrived.
    std::chrono::milliseconds replyDelay{0};
    // Only the first N commands are answered; later ones are still received and logged.
    std::optional<std::size_t> stopAnsweringAfter;
    // With stopAnsweringAfter: from the N-th command on, answers come again, like a supply
    // that recovers.
    std::optional<std::size_t> resumeAnsweringAt;
    // Random bytes that never begin with "ACK" go out in place of each reply.
    bool garbageReplies = false;
    // Each reply goes out in two halves this far apart.
    std::optional<std::chrono::milliseconds> splitGap;
    // The current reply is padded past the bytes a host takes in one read.
    bool longCurrentReply = false;
    // The line drops as the N-th command arrives, like a supply unplugged mid-session: that
    // command is logged but not answered.
    std::optional<std::size_t> hangUpAfter;

    // Each reply is followed by an XOFF byte (0x13), as a device with software flow control
    // sends when its buffer fills; a host that leaves flow control on stops writing.
    bool xoffAfterReplies = false;
    // The terminal keeps the kernel's default modes (flow control, CR/NL translation, echo),
    // as a real port has them until the program that opens it sets its own.
    bool kernelModes = false;

    // A symbolic link made to the terminal for as long as the supply runs.
    std::optional<std::filesystem::path> linkPath;

    // Every received command is also appended to this file, one line each.
    std::optional<std::filesystem::path> logFile;
};

} // namespace pelmora::sim
