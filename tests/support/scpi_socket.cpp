#include "tests/support/scpi_socket.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kReadChunk = 65536;

int RemainingMs(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

ScpiSocket::ScpiSocket(std::uint16_t port, int receiveBufferBytes) {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0) {
        return;
    }
    if (receiveBufferBytes > 0) {
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBufferBytes, sizeof receiveBufferBytes);
    }
    const int on = 1;
    ::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

ScpiSocket::~ScpiSocket() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool ScpiSocket::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
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

std::optional<std::string> ScpiSocket::ReadLine(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::array<char, kReadChunk> chunk{};
    while (true) {
        if (const auto end = m_pending.find('\n'); end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return line;
        }
        pollfd readable{m_fd, POLLIN, 0};
        if (::poll(&readable, 1, RemainingMs(deadline)) <= 0) {
            return std::nullopt;
        }
        const ssize_t got = ::recv(m_fd, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            return std::nullopt;
        }
        m_pending.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

std::optional<std::string> ScpiSocket::Query(std::string_view line) {
    if (!Send(std::string(line) + "\n")) {
        return std::nullopt;
    }
    return ReadLine();
}

bool ScpiSocket::WaitForClose(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::array<char, kReadChunk> chunk{};
    while (true) {
        pollfd readable{m_fd, POLLIN, 0};
        if (::poll(&readable, 1, RemainingMs(deadline)) <= 0) {
            return false;
        }
        if (::recv(m_fd, chunk.data(), chunk.size(), 0) <= 0) {
            return true;
        }
    }
}

bool ScpiSocket::LineWaiting() {
    std::array<char, kReadChunk> chunk{};
    pollfd readable{m_fd, POLLIN, 0};
    while (m_pending.find('\n') == std::string::npos && ::poll(&readable, 1, 0) > 0) {
        const ssize_t got = ::recv(m_fd, chunk.data(), chunk.size(), 0);
        if (got <= 0) {
            break;
        }
        m_pending.append(chunk.data(), static_cast<std::size_t>(got));
    }
    return m_pending.find('\n') != std::string::npos;
}

void ScpiSocket::EndSending() {
    ::shutdown(m_fd, SHUT_WR);
}

void ScpiSocket::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

void ScpiSocket::Abort() {
    const linger reset{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(m_fd);
    m_fd = -1;
}
