#include "link/win32/raw_modes_win32.h"

namespace pelmora {

namespace {

constexpr BYTE kDataBits = 8;

} // namespace

DCB RawChannelDcb(const DCB& reported, DWORD baudRate) {
    DCB settings = reported;
    settings.DCBlength = kDcbLength;
    settings.BaudRate = baudRate;
    settings.ByteSize = kDataBits;
    // Windows supports nothing but binary transfers on a serial port.
    settings.fBinary = TRUE;
    settings.fOutX = FALSE;
    settings.fInX = FALSE;
    settings.fNull = FALSE;
    settings.fErrorChar = FALSE;
    settings.fAbortOnError = FALSE;
    return settings;
}

} // namespace pelmora
