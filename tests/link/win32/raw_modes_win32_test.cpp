#include "link/win32/raw_modes_win32.h"

#include <cstring>
#include <gtest/gtest.h>

using pelmora::RawChannelDcb;

namespace {

// A port left with every switch on and odd line settings.
DCB EverythingOn() {
    DCB dcb{};
    dcb.DCBlength = 0;
    dcb.BaudRate = 9600;
    dcb.fBinary = FALSE;
    dcb.fParity = TRUE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fNull = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fAbortOnError = TRUE;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.ByteSize = 7;
    dcb.Parity = MARKPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1a;
    dcb.EvtChar = '\n';
    return dcb;
}

} // namespace

TEST(RawChannelDcb, ClearsEverySwitchThatCouldStopDropOrRewriteBytes) {
    const DCB raw = RawChannelDcb(EverythingOn(), 921600);
    EXPECT_EQ(raw.fOutX, 0u) << "an XOFF from the device would stop every write";
    EXPECT_EQ(raw.fInX, 0u);
    EXPECT_EQ(raw.fNull, 0u);
    EXPECT_EQ(raw.fErrorChar, 0u);
    EXPECT_EQ(raw.fAbortOnError, 0u);
    EXPECT_EQ(raw.fBinary, 1u);
    EXPECT_EQ(raw.BaudRate, 921600u);
    EXPECT_EQ(raw.ByteSize, 8);
    EXPECT_EQ(raw.DCBlength, sizeof(DCB));
}

TEST(RawChannelDcb, KeepsTheLineSettingsOfTheDevice) {
    const DCB reported = EverythingOn();
    const DCB raw = RawChannelDcb(reported, 921600);
    EXPECT_EQ(raw.Parity, reported.Parity);
    EXPECT_EQ(raw.StopBits, reported.StopBits);
    EXPECT_EQ(raw.fParity, reported.fParity);
    EXPECT_EQ(raw.fOutxCtsFlow, reported.fOutxCtsFlow);
    EXPECT_EQ(raw.fOutxDsrFlow, reported.fOutxDsrFlow);
    EXPECT_EQ(raw.fDtrControl, reported.fDtrControl);
    EXPECT_EQ(raw.fRtsControl, reported.fRtsControl);
    EXPECT_EQ(raw.fDsrSensitivity, reported.fDsrSensitivity);
    EXPECT_EQ(raw.XonChar, reported.XonChar);
    EXPECT_EQ(raw.XoffChar, reported.XoffChar);
    EXPECT_EQ(raw.EvtChar, reported.EvtChar);

    // A port with nothing set gets only what the channel sets.
    DCB nothing{};
    const DCB fromNothing = RawChannelDcb(nothing, 115200);
    nothing.DCBlength = sizeof(DCB);
    nothing.BaudRate = 115200;
    nothing.ByteSize = 8;
    nothing.fBinary = TRUE;
    EXPECT_EQ(std::memcmp(&fromNothing, &nothing, sizeof(DCB)), 0);
}
