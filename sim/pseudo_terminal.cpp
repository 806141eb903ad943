#include "pseudo_terminal.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <system_error>
#include <termios.h>

namespace pelmora::sim {

namespace {

// Longer than any /dev/pts path.
constexpr std::size_t kPathCapacity = 128;

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

} // namespace pelmora::sim
