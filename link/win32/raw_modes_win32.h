#pragma once

#include <windows.h>

// The line settings under which bytes pass unchanged in both directions, whatever the port was
// left with: software flow control would stop every write after one stray XOFF from the device,
// and the driver may drop NUL bytes, replace bytes that fail the parity check, or stop every
// transfer after a line error until it is cleared.
namespace pelmora {

// The length the settings record is read with.
inline constexpr DWORD kDcbLength = sizeof(DCB);

// The given speed, 8 data bits and binary transfers; no software flow control either way (fOutX,
// fInX), no NUL stripping (fNull), no error replacement (fErrorChar), no abort on errors
// (fAbortOnError). Parity, stop bits, hardware flow control and the special characters stay as
// the port reports them.
DCB RawChannelDcb(const DCB& reported, DWORD baudRate);

} // namespace pelmora
