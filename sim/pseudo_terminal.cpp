#include "sim/pseudo_terminal.h"

#include "link/posix/open_devices_posix.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <optional>
#include <string>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace pelmora::sim {

namespace {

// Longer than any /dev/pts path.
constexpr std::size_t kPathCapacity = 128;
// A close event comes when the last descriptor of an open file description goes, killed or
// not. The events only say when to look: the system merges events that follow each other
// unread, so they cannot be counted.
constexpr std::uint32_t kCloseEvents = IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
// Room for many events at a time; the watch names no file, so each is a bare inotify_event.
constexpr std::size_t kEventBufferEvents = 64;

// Copies of the held slave's descriptor, which a process forked from this one has until it
// ends or runs another program, are the hold itself, not another opener. The hold's own
// descriptor is known without asking the kernel, which may refuse to compare descriptors.
bool IsTheHold(long pid, int descriptor, int held) {
    const long self = ::getpid();
    if (pid == self) {
        return descriptor == held;
    }
    return ::syscall(SYS_kcmp, static_cast<pid_t>(self), static_cast<pid_t>(pid), KCMP_FILE, held,
                     descriptor) == 0;
}

bool AnyOtherOpener(dev_t device, int held) {
    bool found = false;
    VisitOpenDevices([&](long pid, int descriptor, dev_t opened) {
        found = opened == device && !IsTheHold(pid, descriptor, held);
        return found;
    });
    return found;
}

[[noreturn]] void ThrowSystemError(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

// The supply's protocol ends commands with "\r": no translation of it either way, no echo of
// the replies back to us, no line editing, no signals from control bytes.
void MakeRaw(termios& settings) {
    settings.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | ISTRIP | IXON | BRKINT);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR);
    settings.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHONL | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
}

} // namespace

PseudoTerminal OpenPseudoTerminal(bool kernelModes) {
    PseudoTerminal terminal;
    terminal.master = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal.master.IsValid()) {
        ThrowSystemError("posix_openpt");
    }
    const int master = terminal.master.Get();
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ThrowSystemError("unlocking the pseudo-terminal");
    }
    const int flags = ::fcntl(master, F_GETFL);
    if (flags < 0 || ::fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) {
        ThrowSystemError("fcntl");
    }
    // ptsname_r rather than ptsname: other threads may be opening terminals at the same time.
    std::array<char, kPathCapacity> path{};
    if (const int error = ::ptsname_r(master, path.data(), path.size()); error != 0) {
        throw std::system_error(error, std::generic_category(), "ptsname_r");
    }
    terminal.slavePath = path.data();

    terminal.heldSlave = UniqueFd(::open(path.data(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!terminal.heldSlave.IsValid()) {
        ThrowSystemError("opening the pseudo-terminal's slave");
    }
    terminal.closeWatch = UniqueFd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!terminal.closeWatch.IsValid() ||
        ::inotify_add_watch(terminal.closeWatch.Get(), path.data(), kCloseEvents) < 0) {
        ThrowSystemError("watching the pseudo-terminal's slave");
    }
    if (kernelModes) {
        return terminal;
    }
    termios settings{};
    if (::tcgetattr(terminal.heldSlave.Get(), &settings) != 0) {
        ThrowSystemError("tcgetattr");
    }
    MakeRaw(settings);
    if (::tcsetattr(terminal.heldSlave.Get(), TCSANOW, &settings) != 0) {
        ThrowSystemError("tcsetattr");
    }
    return terminal;
}

void ReleaseAfterLastClose(PseudoTerminal& terminal) {
    alignas(inotify_event) std::array<char, kEventBufferEvents * sizeof(inotify_event)> events{};
    while (::read(terminal.closeWatch.Get(), events.data(), events.size()) > 0) {
    }
    const int held = terminal.heldSlave.Get();
    int exclusive = 0;
    struct stat slave {};
    if (::ioctl(held, TIOCGEXCL, &exclusive) != 0 || exclusive == 0 || ::fstat(held, &slave) != 0 ||
        AnyOtherOpener(slave.st_rdev, held)) {
        return;
    }
    ::ioctl(held, TIOCNXCL);
}

} // namespace pelmora::sim
