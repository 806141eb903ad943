#include "link/win32/overlapped_transfer_win32.h"

#include <algorithm>

namespace pelmora {

OverlappedTransfer::~OverlappedTransfer() {
    if (Exists()) {
        ::CloseHandle(m_record.hEvent);
    }
}

bool OverlappedTransfer::Create(std::size_t capacity) {
    m_record = {};
    m_inFlight = false;
    m_received = 0;
    m_record.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    m_buffer.assign(capacity, 0);
    return Exists();
}

void OverlappedTransfer::Release(HANDLE device) {
    if (!Exists()) {
        return;
    }
    if (m_inFlight && !HasOverlappedIoCompleted(&m_record)) {
        ::CancelIoEx(device, &m_record);
        ::WaitForSingleObject(m_record.hEvent, kCancelWaitMs);
    }
    ::CloseHandle(m_record.hEvent);
    m_record = {};
    m_inFlight = false;
}

bool OverlappedTransfer::RecordFree() {
    if (m_inFlight && !HasOverlappedIoCompleted(&m_record)) {
        return false;
    }
    m_inFlight = false;
    return true;
}

TransferResult OverlappedTransfer::Finish(HANDLE device, BOOL started, DWORD waitMs) {
    DWORD count = 0;
    if (started) {
        ::GetOverlappedResult(device, &m_record, &count, FALSE);
        return {count, 0};
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING) {
        return {0, error};
    }
    if (::WaitForSingleObject(m_record.hEvent, waitMs) != WAIT_OBJECT_0) {
        ::CancelIoEx(device, &m_record);
        if (::WaitForSingleObject(m_record.hEvent, kCancelWaitMs) != WAIT_OBJECT_0) {
            m_inFlight = true;
            return {0, ERROR_OPERATION_ABORTED};
        }
    }
    if (::GetOverlappedResult(device, &m_record, &count, FALSE)) {
        return {count, 0};
    }
    return {count, ::GetLastError()};
}

TransferResult OverlappedTransfer::Read(HANDLE device, DWORD count, DWORD waitMs) {
    m_received = 0;
    if (!RecordFree()) {
        return {0, ERROR_BUSY};
    }
    const DWORD wanted = std::min<DWORD>(count, static_cast<DWORD>(m_buffer.size()));
    const BOOL started = ::ReadFile(device, m_buffer.data(), wanted, nullptr, &m_record);
    const TransferResult result = Finish(device, started, waitMs);
    // A transfer left to the driver may still fill the buffer: none of it counts as received.
    if (!m_inFlight) {
        m_received = result.count;
    }
    return result;
}

std::string_view OverlappedTransfer::Received() const {
    return {m_buffer.data(), m_received};
}

TransferResult OverlappedTransfer::Write(HANDLE device, std::string_view bytes, DWORD waitMs) {
    if (!RecordFree()) {
        return {0, ERROR_BUSY};
    }
    const std::size_t count = std::min(bytes.size(), m_buffer.size());
    std::copy_n(bytes.begin(), count, m_buffer.begin());
    const BOOL started =
        ::WriteFile(device, m_buffer.data(), static_cast<DWORD>(count), nullptr, &m_record);
    return Finish(device, started, waitMs);
}

} // namespace pelmora
