#pragma once

#include "link/open_failure.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

// A byte channel to one serial device, the supply's only path. Every wait it makes is bounded:
// at most kWriteWaitMs for each byte written, at most kReadWaitMs for a read, at most
// kCloseDrainMs for output still queued when it closes, and a read never waits for bytes that
// have not arrived.
class CSerialChannel {
public:
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kReadWaitMs = 2000;
    static constexpr int kCloseDrainMs = 500;

    // How a bounded wait on the line ended.
    enum class LineWait {
        // Received bytes are queued (WaitForInput), or the whole command went out (WriteWhole).
        Done,
        TimedOut,
        // The channel is closed, or the device went away (unplugged, hung up).
        Gone,
    };

    CSerialChannel();
    ~CSerialChannel();
    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    // Opens the listed port with this number for our exclusive use: bytes pass unchanged both
    // ways, the given speed, 8 data bits, parity, stop bits and hardware flow control as the
    // port has them, no software flow control. True when the channel is open afterwards, also
    // when it already was (on whatever port); LastOpenFailure() tells why it is not.
    bool Open(int portNumber, int baudRate);
    // The same for a device named by its path.
    bool OpenDevice(const std::filesystem::path& device, int baudRate);
    // Always true; does nothing on a closed channel. Output the device has not taken within
    // kCloseDrainMs is dropped rather than waited for.
    bool Close();
    // The number of bytes handed to the device one by one; 0 on a closed or gone channel. A
    // byte the device does not take is not reported.
    int Write(const void* bytes, int count);
    // Received bytes queued by the driver; 0 on a closed or gone channel.
    int BytesWaiting();
    // At most `maximum` of the bytes that have already arrived; the rest stay queued.
    int Read(void* buffer, int maximum);
    // Waits at most timeoutMs until received bytes are queued; at once when some already are.
    LineWait WaitForInput(int timeoutMs);
    // Hands the whole of `bytes` to the device in one call, and waits at most kWriteWaitMs in
    // all for whatever it does not take at once. TimedOut when some bytes were not taken.
    LineWait WriteWhole(std::string_view bytes);

    bool IsOpen() const { return m_isOpen; }
    // The device went away under the open channel (unplugged, or its line hung up): from then on
    // nothing is written or read until the channel is closed. A silent device is not gone.
    bool IsGone() const { return m_gone; }
    // Looks for a hang-up without sending or waiting; true when the device is gone.
    bool LookForHangUp();
    // The device that is open; empty while closed.
    const std::filesystem::path& DevicePath() const { return m_device; }
    // The system's own descriptor (POSIX) or handle (Windows) of the open device, for a program
    // that waits for its input in an event loop of its own; -1 while closed. Reads and writes
    // still go through the channel.
    std::intptr_t NativeHandle() const;
    // Why the last Open or OpenDevice left the channel closed; PortProblem::None after one that
    // opened it.
    const pelmora::OpenFailure& LastOpenFailure() const { return m_failure; }

    // Bytes the device is sent if the process ends while this channel is open, by exit() or a
    // crash, without Close(). Close() takes them back.
    void SetLastWords(std::string_view bytes);

private:
    // What the platform keeps for an open device: its descriptor or handle, and whatever else
    // its backend needs. Each backend defines it, so that this header names no system type.
    struct Native;

    bool Refuse(pelmora::PortProblem problem, int systemError = 0);
    bool WriteByte(unsigned char byte);
    void DrainOutput();
    // Takes note of an error that means the device is gone.
    void NoteError(int error);

    std::unique_ptr<Native> m_native;
    bool m_isOpen = false;
    bool m_gone = false;
    std::filesystem::path m_device;
    pelmora::OpenFailure m_failure;
};
