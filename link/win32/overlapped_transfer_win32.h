#pragma once

#include <string_view>
#include <vector>
#include <windows.h>

namespace pelmora {

// How one transfer ended.
struct TransferResult {
    // Bytes moved, also by a transfer that failed or was cancelled part way.
    DWORD count = 0;
    // 0 when the transfer finished within its wait; else the system's error: its failure to
    // start, its own failure, or ERROR_OPERATION_ABORTED when it was cancelled.
    DWORD error = 0;
};

// One completion record for overlapped transfers on a device, with its event and its own
// buffer. A transfer still running when its wait ends is cancelled, and the cancellation is
// waited for, so that the record is never reused while the system may still complete into it,
// and nothing arrives in a caller's memory after the call that asked for it has returned. Only
// if a driver does not even finish the cancellation in time is the record left to it: further
// transfers are then refused with ERROR_BUSY until it has finished.
class OverlappedTransfer {
public:
    // How long a cancelled transfer is given to finish.
    static constexpr DWORD kCancelWaitMs = 1000;

    OverlappedTransfer() = default;
    ~OverlappedTransfer();
    OverlappedTransfer(const OverlappedTransfer&) = delete;
    OverlappedTransfer& operator=(const OverlappedTransfer&) = delete;

    // Makes the event (unnamed, manual-reset, not signalled) and a buffer of `capacity` bytes,
    // the most one transfer moves. False when the event cannot be made.
    bool Create(std::size_t capacity);
    // Cancels what still runs on `device`, waits for it as above, and lets the event go.
    void Release(HANDLE device);
    bool Exists() const { return m_record.hEvent != nullptr; }
    std::size_t Capacity() const { return m_buffer.size(); }

    // Reads at most Capacity() bytes into the buffer, waiting at most waitMs for a transfer
    // that does not complete at once; Received() holds what arrived.
    TransferResult Read(HANDLE device, DWORD count, DWORD waitMs);
    std::string_view Received() const;
    // Writes the first Capacity() bytes of `bytes` in one transfer, waiting as Read does.
    TransferResult Write(HANDLE device, std::string_view bytes, DWORD waitMs);

private:
    TransferResult Finish(HANDLE device, BOOL started, DWORD waitMs);
    // False while an earlier transfer that outlived its cancellation has not finished.
    bool RecordFree();

    OVERLAPPED m_record{};
    std::vector<char> m_buffer;
    DWORD m_received = 0;
    bool m_inFlight = false;
};

} // namespace pelmora
