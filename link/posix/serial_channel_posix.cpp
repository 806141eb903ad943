#include "link/port_holder.h"
#include "link/posix/last_words_posix.h"
#include "link/posix/raw_modes_posix.h"
#include "link/serial_channel.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using pelmora::PortProblem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kDrainPollInterval = std::chrono::milliseconds(1);
constexpr std::size_t kAccountRecordBytes = 4096;

constexpr short kLineDownEvents = POLLHUP | POLLERR | POLLNVAL;

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
}

// The events that ended a wait for `events` on fd, across interrupted waits; 0 when none came
// before the deadline.
short PollUntil(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd watched{fd, events, 0};
        const int ready = ::poll(&watched, 1, MillisecondsUntil(deadline));
        if (ready > 0) {
            return watched.revents;
        }
        if (ready == 0 || errno != EINTR) {
            return 0;
        }
    }
}

bool WaitFor(int fd, short events, int timeoutMs) {
    return (PollUntil(fd, events, Clock::now() + std::chrono::milliseconds(timeoutMs)) & events) !=
           0;
}

std::string GroupName(gid_t group) {
    std::array<char, kAccountRecordBytes> record{};
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(group, &entry, record.data(), record.size(), &found) != 0 || !found) {
        return std::to_string(group);
    }
    return found->gr_name;
}

std::string UserName(uid_t user) {
    std::array<char, kAccountRecordBytes> record{};
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(user, &entry, record.data(), record.size(), &found) != 0 || !found) {
        return std::to_string(user);
    }
    return found->pw_name;
}

// Who is refused a busy port, and why: the lock holder of ours, or a terminal left exclusive.
void ExplainBusy(pelmora::OpenFailure& failure, const std::filesystem::path& device) {
    failure.holder = pelmora::FindPortHolder(device);
    failure.leftExclusive = !failure.holder || !failure.holder->holdsLock;
    if (failure.leftExclusive) {
        failure.openers = pelmora::FindPortOpeners(device);
    }
}

// Errors of a terminal whose device has gone away.
bool MeansGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV;
}

PortProblem ProblemOfOpenError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return PortProblem::PermissionDenied;
    case EBUSY:
        return PortProblem::Busy;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return PortProblem::Missing;
    default:
        return PortProblem::OpenFailed;
    }
}

// Clears exclusive use only where this opener set it: another holder's must stay.
void Release(int fd, bool madeExclusive) {
    if (madeExclusive) {
        ::ioctl(fd, TIOCNXCL);
    }
    ::close(fd);
}

} // namespace

struct CSerialChannel::Native {
    int fd = -1;
    // Whether this channel made the device exclusive, and so must undo it.
    bool madeExclusive = false;
};

CSerialChannel::CSerialChannel() : m_native(std::make_unique<Native>()) {}

std::intptr_t CSerialChannel::NativeHandle() const {
    return m_isOpen ? m_native->fd : -1;
}

CSerialChannel::~CSerialChannel() {
    Close();
}

bool CSerialChannel::OpenDevice(const std::filesystem::path& device, int baudRate) {
    if (m_isOpen) {
        return true;
    }
    m_failure = {};
    const auto speed = pelmora::TermiosSpeed(baudRate);
    if (!speed) {
        return Refuse(PortProblem::UnsupportedSpeed);
    }
    // Opening can act on a device (a FIFO blocks its writer, some nodes do things on open), so
    // only character devices are opened at all.
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        return Refuse(errno == EACCES ? PortProblem::PermissionDenied : PortProblem::Missing,
                      errno);
    }
    if (!S_ISCHR(node.st_mode)) {
        return Refuse(PortProblem::NotCharacterDevice);
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        Refuse(ProblemOfOpenError(error), error);
        if (m_failure.problem == PortProblem::PermissionDenied) {
            m_failure.deviceGroup = GroupName(node.st_gid);
            m_failure.deviceOwner = UserName(node.st_uid);
            m_failure.deviceMode = node.st_mode;
        } else if (m_failure.problem == PortProblem::Busy) {
            ExplainBusy(m_failure, device);
        }
        return false;
    }
    if (!::isatty(fd)) {
        Release(fd, false);
        return Refuse(PortProblem::NotTerminal);
    }
    // The lock keeps out every program that takes it, root included; TIOCEXCL keeps out every
    // other opener but root. A device already exclusive when we got in (as root) is held by
    // a program that does not take the lock.
    int alreadyExclusive = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        (::ioctl(fd, TIOCGEXCL, &alreadyExclusive) == 0 && alreadyExclusive != 0)) {
        Release(fd, false);
        Refuse(PortProblem::Busy, EBUSY);
        ExplainBusy(m_failure, device);
        return false;
    }
    const bool madeExclusive = ::ioctl(fd, TIOCEXCL) == 0;
    termios reported{};
    if (::tcgetattr(fd, &reported) != 0) {
        const int error = errno;
        Release(fd, madeExclusive);
        return Refuse(PortProblem::SettingsRefused, error);
    }
    const termios raw = pelmora::RawChannelModes(reported, *speed);
    if (::tcsetattr(fd, TCSANOW, &raw) != 0) {
        const int error = errno;
        Release(fd, madeExclusive);
        return Refuse(PortProblem::SettingsRefused, error);
    }
    m_native->fd = fd;
    m_native->madeExclusive = madeExclusive;
    m_device = device;
    m_isOpen = true;
    return true;
}

void CSerialChannel::NoteError(int error) {
    if (MeansGone(error)) {
        m_gone = true;
    }
}

bool CSerialChannel::LookForHangUp() {
    if (!m_isOpen || m_gone) {
        return m_gone;
    }
    // Asking for no events still reports a hang-up or an error of the line.
    pollfd watched{m_native->fd, 0, 0};
    if (::poll(&watched, 1, 0) > 0 && (watched.revents & kLineDownEvents) != 0) {
        m_gone = true;
    }
    return m_gone;
}

void CSerialChannel::SetLastWords(std::string_view bytes) {
    if (m_isOpen) {
        pelmora::ArmLastWords(m_native->fd, bytes);
    }
}

void CSerialChannel::DrainOutput() {
    // A real tty's close() waits up to its closing wait (30 s by default) for output the device
    // does not take; wait a bounded time, then drop what is left so that close() returns.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseDrainMs);
    int queued = 0;
    while (::ioctl(m_native->fd, TIOCOUTQ, &queued) == 0 && queued > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(kDrainPollInterval);
    }
    // Output is flushed only when some is left: on a pseudo-terminal that flush also throws away
    // what the other side has not read yet, though it was taken.
    ::tcflush(m_native->fd, queued > 0 ? TCIOFLUSH : TCIFLUSH);
}

bool CSerialChannel::Close() {
    if (!m_isOpen) {
        return true;
    }
    pelmora::DisarmLastWords(m_native->fd);
    DrainOutput();
    Release(m_native->fd, m_native->madeExclusive);
    m_native->fd = -1;
    m_native->madeExclusive = false;
    m_device.clear();
    m_isOpen = false;
    m_gone = false;
    return true;
}

bool CSerialChannel::WriteByte(unsigned char byte) {
    if (m_gone) {
        return true;
    }
    if (::write(m_native->fd, &byte, 1) == 1) {
        return true;
    }
    if (errno != EAGAIN && errno != EINTR) {
        NoteError(errno);
        return true;
    }
    if (WaitFor(m_native->fd, POLLOUT, kWriteWaitMs) && ::write(m_native->fd, &byte, 1) < 0) {
        NoteError(errno);
    }
    return true;
}

int CSerialChannel::BytesWaiting() {
    if (!m_isOpen || m_gone) {
        return 0;
    }
    int queued = 0;
    if (::ioctl(m_native->fd, TIOCINQ, &queued) != 0) {
        NoteError(errno);
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
    ssize_t got = ::read(m_native->fd, buffer, wanted);
    if (got < 0 && (errno == EAGAIN || errno == EINTR) &&
        WaitFor(m_native->fd, POLLIN, kReadWaitMs)) {
        got = ::read(m_native->fd, buffer, wanted);
    }
    // Nothing where bytes were queued is a line that hung up under us.
    if (got == 0) {
        m_gone = true;
    } else if (got < 0) {
        NoteError(errno);
    }
    return got > 0 ? static_cast<int>(got) : 0;
}

CSerialChannel::LineWait CSerialChannel::WaitForInput(int timeoutMs) {
    if (!m_isOpen) {
        return LineWait::Gone;
    }
    if (BytesWaiting() > 0) {
        return LineWait::Done;
    }
    const short events = PollUntil(
        m_native->fd, POLLIN, Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs)));
    // A device that went away stays "readable" for ever: tell that apart from bytes, so that
    // no caller spins on it.
    if ((events & kLineDownEvents) != 0 && BytesWaiting() == 0) {
        m_gone = true;
        return LineWait::Gone;
    }
    return (events & POLLIN) != 0 ? LineWait::Done : LineWait::TimedOut;
}

CSerialChannel::LineWait CSerialChannel::WriteWhole(std::string_view bytes) {
    if (!m_isOpen || m_gone) {
        return LineWait::Gone;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (!bytes.empty()) {
        const ssize_t sent = ::write(m_native->fd, bytes.data(), bytes.size());
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno != EAGAIN && errno != EINTR) {
            m_gone = true;
            return LineWait::Gone;
        }
        const short events = PollUntil(m_native->fd, POLLOUT, deadline);
        if ((events & kLineDownEvents) != 0) {
            m_gone = true;
            return LineWait::Gone;
        }
        if ((events & POLLOUT) == 0) {
            return LineWait::TimedOut;
        }
    }
    return LineWait::Done;
}
