#include "tcp_line_client.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSmallReceiveBuffer = 1024;
constexpr std::size_t kChunk = 4096;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

} // namespace

TcpLineClient::TcpLineClient(std::uint16_t port) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close();
    }
}

TcpLineClient::~TcpLineClient() {
    Close();
}

void TcpLineClient::ShrinkReceiveBuffer() {
    const int size = kSmallReceiveBuffer;
    ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

bool TcpLineClient::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const auto sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

std::optional<std::string> TcpLineClient::ReadLine(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    while (m_received.find('\n') == std::string::npos) {
        if (!Fill(deadline)) {
            return std::nullopt;
        }
    }
    const std::size_t end = m_received.find('\n');
    std::string line = m_received.substr(0, end);
    m_received.erase(0, end + 1);
    return line;
}

std::optional<std::string> TcpLineClient::Ask(std::string_view line) {
    if (!Send(std::string(line) + "\n")) {
        return std::nullopt;
    }
    return ReadLine();
}

bool TcpLineClient::ClosedByServer(std::chrono::milliseconds bound) {
    const auto deadline = Clock::now() + bound;
    while (!m_ended && Fill(deadline)) {
    }
    return m_ended;
}

bool TcpLineClient::LineWaiting() {
    while (m_received.find('\n') == std::string::npos) {
        if (!Fill(Clock::now())) {
            return false;
        }
    }
    return true;
}

void TcpLineClient::EndSending() {
    ::shutdown(m_fd, SHUT_WR);
}

void TcpLineClient::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool TcpLineClient::Fill(Clock::time_point deadline) {
    if (m_ended || m_fd < 0) {
        return false;
    }
    pollfd ready{m_fd, POLLIN, 0};
    if (::poll(&ready, 1, MillisecondsUntil(deadline)) <= 0) {
        return false;
    }
    std::array<char, kChunk> buffer{};
    const auto got = ::recv(m_fd, buffer.data(), buffer.size(), 0);
    if (got <= 0) {
        m_ended = true;
        return false;
    }
    m_received.append(buffer.data(), static_cast<std::size_t>(got));
    return true;
}
