#pragma once

#include "sim/sim_config.h"
#include "sim/unique_fd.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora::sim::test {

// Long enough that only a broken simulator runs into it, even on a loaded sanitizer build.
inline constexpr std::chrono::milliseconds kGenerousWait{5000};
// How long "nothing more arrives" is watched for, once the simulator has taken the command.
inline constexpr std::chrono::milliseconds kQuietPeriod{300};

// A supply whose readings carry no noise, so that a test can name them exactly.
inline SimConfig Quiet() {
    SimConfig config;
    config.noiseMa = 0;
    return config;
}

// Reads until `count` bytes have come or `limit` has passed; gives what came.
std::string ReadBytes(int fd, std::size_t count, std::chrono::milliseconds limit);

// The program side of a simulated supply's line, opened like a serial port, without any of
// the serial channel's own logic in the way.
class LineClient {
public:
    explicit LineClient(const std::filesystem::path& device);

    bool IsOpen() const { return m_fd.IsValid(); }
    void Close() { m_fd.Reset(); }
    void Send(std::string_view bytes);
    std::string Receive(std::size_t count, std::chrono::milliseconds limit = kGenerousWait);
    // Bytes that have arrived and not been read yet.
    std::size_t Waiting() const;
    // True once the line reports that the other end is gone.
    bool WaitForHangUp(std::chrono::milliseconds limit = kGenerousWait);

private:
    UniqueFd m_fd;
};

} // namespace pelmora::sim::test
