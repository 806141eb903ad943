#pragma once

#include <filesystem>

// A byte channel to one serial device, the supply's only path. Every wait it makes is bounded:
// at most kWriteWaitMs for each byte written, at most kReadWaitMs for a read, and a read never
// waits for bytes that have not arrived.
class CSerialChannel {
public:
    static constexpr int kWriteWaitMs = 1000;
    static constexpr int kReadWaitMs = 2000;

    CSerialChannel() = default;
    ~CSerialChannel();
    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    // Opens the listed port with this number for our exclusive use: raw bytes both ways, the
    // given speed, 8 data bits, parity, stop bits and flow control as the port has them.
    // True when the channel is open afterwards, also when it already was (on whatever port).
    bool Open(int portNumber, int baudRate);
    // Always true; does nothing on a closed channel.
    bool Close();
    // The number of bytes handed to the device one by one; 0 on a closed channel. A byte the
    // device does not take is not reported.
    int Write(const void* bytes, int count);
    // Received bytes queued by the driver; 0 on a closed channel.
    int BytesWaiting();
    // At most `maximum` of the bytes that have already arrived; the rest stay queued.
    int Read(void* buffer, int maximum);

    bool IsOpen() const { return m_isOpen; }

private:
    bool OpenDevice(const std::filesystem::path& device, int baudRate);
    bool WriteByte(unsigned char byte);

    int m_fd = -1;
    bool m_isOpen = false;
};
