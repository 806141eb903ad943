#include "tests/support/pty_peer.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kTrailingBytesWaitMs = 50;
constexpr std::size_t kChunk = 256;

} // namespace

PseudoTerminal::PseudoTerminal() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        throw std::runtime_error("no pseudo-terminal available");
    }
    m_devicePath = ::ptsname(m_master);
}

PseudoTerminal::~PseudoTerminal() {
    HangUp();
}

void PseudoTerminal::Send(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t sent = ::write(m_master, bytes.data(), bytes.size());
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("pseudo-terminal write failed");
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
}

std::string PseudoTerminal::Receive(int timeoutMs) {
    std::string received;
    int waitMs = timeoutMs;
    for (;;) {
        pollfd watched{m_master, POLLIN, 0};
        if (::poll(&watched, 1, waitMs) <= 0 || (watched.revents & POLLIN) == 0) {
            return received;
        }
        char chunk[kChunk];
        const ssize_t got = ::read(m_master, chunk, sizeof chunk);
        if (got <= 0) {
            return received;
        }
        received.append(chunk, static_cast<std::size_t>(got));
        waitMs = kTrailingBytesWaitMs;
    }
}

void PseudoTerminal::HangUp() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

termios PseudoTerminal::SlaveModes() const {
    // On Linux the master's modes are the slave's: reading them here leaves the slave alone.
    termios modes{};
    if (::tcgetattr(m_master, &modes) != 0) {
        throw std::runtime_error("cannot read the pseudo-terminal's modes");
    }
    return modes;
}
