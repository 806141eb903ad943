#include "pseudo_terminal.h"

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace pelmora::sim {

namespace {

// Longer than any /dev/pts path.
constexpr std::size_t kPathCapacity = 128;
// Each open file description is opened once and closed once, however many descriptors and
// processes share it: a close event comes only when the last of them goes, killed or not.
constexpr std::uint32_t kOpenEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
// Room for many events at a time; the watch names no file, so each is a bare inotify_event.
constexpr std::size_t kEventBufferEvents = 64;

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
    // Made after the held slave is open, so that only others' openings are counted.
    terminal.openWatch = UniqueFd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
    if (!terminal.openWatch.IsValid() ||
        ::inotify_add_watch(terminal.openWatch.Get(), path.data(), kOpenEvents) < 0) {
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

void FollowOpenings(PseudoTerminal& terminal) {
    alignas(inotify_event) std::array<char, kEventBufferEvents * sizeof(inotify_event)> buffer{};
    ssize_t got = 0;
    while ((got = ::read(terminal.openWatch.Get(), buffer.data(), buffer.size())) > 0) {
        for (std::size_t at = 0; at + sizeof(inotify_event) <= static_cast<std::size_t>(got);) {
            inotify_event event{};
            std::memcpy(&event, buffer.data() + at, sizeof event);
            if ((event.mask & IN_OPEN) != 0) {
                ++terminal.othersOpen;
            } else if ((event.mask & (IN_CLOSE_WRITE | IN_CLOSE_NOWRITE)) != 0 &&
                       terminal.othersOpen > 0) {
                --terminal.othersOpen;
            }
            at += sizeof(inotify_event) + event.len;
        }
    }
    if (terminal.othersOpen == 0) {
        ::ioctl(terminal.heldSlave.Get(), TIOCNXCL);
    }
}

} // namespace pelmora::sim
