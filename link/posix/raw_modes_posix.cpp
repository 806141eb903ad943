#include "link/posix/raw_modes_posix.h"

namespace pelmora {

namespace {

// Line settings that belong to the device at the other end, not to us.
constexpr tcflag_t kKeptControlFlags = PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kSetControlFlags = CS8 | CREAD | CLOCAL;

} // namespace

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

termios RawChannelModes(const termios& reported, speed_t speed) {
    termios modes = reported;
    modes.c_iflag = 0;
    modes.c_oflag = 0;
    modes.c_lflag = 0;
    modes.c_cflag = (reported.c_cflag & kKeptControlFlags) | kSetControlFlags;
    modes.c_cc[VMIN] = 0;
    modes.c_cc[VTIME] = 0;
    cfsetispeed(&modes, speed);
    cfsetospeed(&modes, speed);
    return modes;
}

} // namespace pelmora
