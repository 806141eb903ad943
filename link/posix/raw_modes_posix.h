#pragma once

#include <optional>
#include <termios.h>

// The terminal modes under which bytes pass unchanged in both directions, whatever the port
// was left with: a fresh tty starts with software flow control, CR/NL translation, echo and
// line editing all on, and one stray XOFF from the device would stop every write.
namespace pelmora {

// The termios speed constant for a baud rate; empty for a rate the system has no constant for.
std::optional<speed_t> TermiosSpeed(int baudRate);

// Input, output and local flags all cleared; CS8, CREAD and CLOCAL set, and of the reported
// control flags only parity (PARENB, PARODD, CMSPAR), stop bits (CSTOPB) and hardware flow
// control (CRTSCTS) kept; reads return at once (VMIN = VTIME = 0); the given speed both ways.
termios RawChannelModes(const termios& reported, speed_t speed);

} // namespace pelmora
