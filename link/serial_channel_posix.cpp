#include "port_list.h"
#include "serial_channel.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::optional<speed_t> TermiosSpeed(int baudRate) {
    switch (baudRate) {
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 921600:
        return B921600;
    default:
        return std::nullopt;
    }
}

// Waits for `events` on fd for at most timeoutMs in all, across interrupted waits.
bool WaitFor(int fd, short events, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (ready > 0) {
            return (watched.revents & events) != 0;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
}

// No canonical lines, echo, signals or translation in either direction: a carriage return
// stays 0x0D. Parity, stop bits and flow control keep what the port reported.
void MakeRaw(termios& settings, speed_t speed) {
    settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | ISTRIP | BRKINT | IGNBRK);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
}

void Release(int fd) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

} // namespace

CSerialChannel::~CSerialChannel() {
    Close();
}

bool CSerialChannel::Open(int portNumber, int baudRate) {
    if (m_isOpen) {
        return true;
    }
    const auto device = pelmora::FindPortDevice(portNumber);
    return device && OpenDevice(*device, baudRate);
}

bool CSerialChannel::OpenDevice(const std::filesystem::path& device, int baudRate) {
    const auto speed = TermiosSpeed(baudRate);
    if (!speed) {
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // TIOCEXCL keeps other openers out but not root; the lock also stops a second copy of a
    // cooperating program running as root.
    termios settings{};
    const bool usable = ::isatty(fd) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                        (::ioctl(fd, TIOCEXCL) == 0 || errno == EINVAL || errno == ENOTTY) &&
                        ::tcgetattr(fd, &settings) == 0;
    if (!usable) {
        Release(fd);
        return false;
    }
    MakeRaw(settings, *speed);
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        Release(fd);
        return false;
    }
    m_fd = fd;
    m_isOpen = true;
    return true;
}

bool CSerialChannel::Close() {
    if (!m_isOpen) {
        return true;
    }
    Release(m_fd);
    m_fd = -1;
    m_isOpen = false;
    return true;
}

bool CSerialChannel::WriteByte(unsigned char byte) {
    if (::write(m_fd, &byte, 1) == 1) {
        return true;
    }
    if (errno != EAGAIN && errno != EINTR) {
        return true;
    }
    if (WaitFor(m_fd, POLLOUT, kWriteWaitMs)) {
        [[maybe_unused]] const auto written = ::write(m_fd, &byte, 1);
    }
    return true;
}

int CSerialChannel::Write(const void* bytes, int count) {
    if (!m_isOpen || count <= 0) {
        return 0;
    }
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < count; ++i) {
        WriteByte(data[i]);
    }
    return count;
}

int CSerialChannel::BytesWaiting() {
    if (!m_isOpen) {
        return 0;
    }
    int queued = 0;
    if (::ioctl(m_fd, TIOCINQ, &queued) != 0) {
        return 0;
    }
    return queued;
}

int CSerialChannel::Read(void* buffer, int maximum) {
    const int queued = BytesWaiting();
    if (queued <= 0 || maximum <= 0) {
        return 0;
    }
    const auto wanted = static_cast<std::size_t>(std::min(maximum, queued));
    ssize_t got = ::read(m_fd, buffer, wanted);
    if (got < 0 && (errno == EAGAIN || errno == EINTR) && WaitFor(m_fd, POLLIN, kReadWaitMs)) {
        got = ::read(m_fd, buffer, wanted);
    }
    return got > 0 ? static_cast<int>(got) : 0;
}
