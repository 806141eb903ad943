#include "tests/sim/line_client.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace pelmora::sim::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReadChunk = 64;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

std::string ReadBytes(int fd, std::size_t count, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::string bytes;
    while (bytes.size() < count) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, MillisecondsUntil(deadline)) <= 0 ||
            (watched.revents & POLLIN) == 0) {
            break;
        }
        std::array<char, kReadChunk> buffer{};
        const ssize_t got =
            ::read(fd, buffer.data(), std::min(buffer.size(), count - bytes.size()));
        if (got <= 0) {
            break;
        }
        bytes.append(buffer.data(), static_cast<std::size_t>(got));
    }
    return bytes;
}

LineClient::LineClient(const std::filesystem::path& device)
    : m_fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}

void LineClient::Send(std::string_view bytes) {
    [[maybe_unused]] const auto written = ::write(m_fd.Get(), bytes.data(), bytes.size());
}

std::string LineClient::Receive(std::size_t count, std::chrono::milliseconds limit) {
    return ReadBytes(m_fd.Get(), count, limit);
}

std::size_t LineClient::Waiting() const {
    int queued = 0;
    ::ioctl(m_fd.Get(), FIONREAD, &queued);
    return static_cast<std::size_t>(queued);
}

bool LineClient::WaitForHangUp(std::chrono::milliseconds limit) {
    pollfd watched{m_fd.Get(), POLLIN, 0};
    if (::poll(&watched, 1, static_cast<int>(limit.count())) <= 0) {
        return false;
    }
    // A vanished line reads as end of file or as EIO, depending on the kernel.
    char byte = 0;
    const ssize_t got = ::read(m_fd.Get(), &byte, 1);
    return (watched.revents & POLLHUP) != 0 || got == 0 || (got < 0 && errno == EIO);
}

} // namespace pelmora::sim::test
