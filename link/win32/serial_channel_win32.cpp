#include "link/port_holder.h"
#include "link/serial_channel.h"
#include "link/win32/last_words_win32.h"
#include "link/win32/overlapped_transfer_win32.h"
#include "link/win32/port_claim_win32.h"
#include "link/win32/port_errors_win32.h"
#include "link/win32/port_list_win32.h"
#include "link/win32/raw_modes_win32.h"

#include <algorithm>
#include <chrono>
#include <thread>

using pelmora::OverlappedTransfer;
using pelmora::PortProblem;

namespace {

using Clock = std::chrono::steady_clock;

// What the driver keeps queued in each direction.
constexpr DWORD kQueueBytes = 10000;
// A write may take this long in the driver; each of ours gives up long before.
constexpr DWORD kDriverWriteTimeoutMs = 5000;
// Reads complete at once with what has arrived.
constexpr COMMTIMEOUTS kTimeouts{.ReadIntervalTimeout = MAXDWORD,
                                 .ReadTotalTimeoutMultiplier = 0,
                                 .ReadTotalTimeoutConstant = 0,
                                 .WriteTotalTimeoutMultiplier = 0,
                                 .WriteTotalTimeoutConstant = kDriverWriteTimeoutMs};
// Reads complete at once, so a wait for bytes watches the driver's queue: this often, which
// costs little and ends a wait soon after the first byte.
constexpr auto kQueuePollInterval = std::chrono::milliseconds(1);
constexpr auto kDrainPollInterval = std::chrono::milliseconds(1);

// What keeps an opened device from being a port; reads its line settings into `reported`.
PortProblem DeviceProblem(HANDLE device, DCB& reported) {
    switch (::GetFileType(device)) {
    case FILE_TYPE_CHAR:
        return ::GetCommState(device, &reported) ? PortProblem::None : PortProblem::NotTerminal;
    // A name that leads to nothing the system knows (Wine opens a port whose device is gone).
    case FILE_TYPE_UNKNOWN:
        return PortProblem::Missing;
    default:
        return PortProblem::NotCharacterDevice;
    }
}

} // namespace

struct CSerialChannel::Native {
    HANDLE device = nullptr;
    OverlappedTransfer reading;
    OverlappedTransfer writing;
    pelmora::PortClaim claim;
};

CSerialChannel::CSerialChannel() : m_native(std::make_unique<Native>()) {}

std::intptr_t CSerialChannel::NativeHandle() const {
    return m_isOpen ? reinterpret_cast<std::intptr_t>(m_native->device) : -1;
}

CSerialChannel::~CSerialChannel() {
    Close();
}

bool CSerialChannel::OpenDevice(const std::filesystem::path& device, int baudRate) {
    if (m_isOpen) {
        return true;
    }
    m_failure = {};
    if (baudRate <= 0) {
        return Refuse(PortProblem::UnsupportedSpeed);
    }
    // Opening can act on what the path names (a pipe's server sees a client come), so only a
    // device is opened at all.
    if (!pelmora::NamesADevice(device)) {
        return Refuse(PortProblem::NotCharacterDevice);
    }
    Native& native = *m_native;
    DWORD claimError = 0;
    if (!native.claim.Take(device, claimError)) {
        return Refuse(PortProblem::Busy, static_cast<int>(claimError));
    }
    const HANDLE handle =
        ::CreateFileA(device.string().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        native.claim.Let();
        Refuse(pelmora::OpenProblemOfError(error), static_cast<int>(error));
        if (m_failure.problem == PortProblem::Busy) {
            m_failure.holder = pelmora::FindPortHolder(device);
        }
        return false;
    }
    // Only a device with line settings is a port.
    DCB reported{};
    reported.DCBlength = pelmora::kDcbLength;
    const PortProblem notAPort = DeviceProblem(handle, reported);
    if (notAPort != PortProblem::None) {
        ::CloseHandle(handle);
        native.claim.Let();
        return Refuse(notAPort);
    }
    COMMTIMEOUTS timeouts = kTimeouts;
    ::SetCommTimeouts(handle, &timeouts);
    native.reading.Create(kQueueBytes);
    native.writing.Create(kQueueBytes);
    DCB raw = pelmora::RawChannelDcb(reported, static_cast<DWORD>(baudRate));
    DWORD error = 0;
    if (!::SetCommState(handle, &raw) || !::SetupComm(handle, kQueueBytes, kQueueBytes)) {
        error = ::GetLastError();
    } else if (!native.reading.Exists() || !native.writing.Exists()) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (error != 0) {
        native.reading.Release(handle);
        native.writing.Release(handle);
        ::CloseHandle(handle);
        native.claim.Let();
        return Refuse(PortProblem::SettingsRefused, static_cast<int>(error));
    }
    native.device = handle;
    m_device = device;
    m_isOpen = true;
    return true;
}

void CSerialChannel::NoteError(int error) {
    if (pelmora::ErrorMeansDeviceGone(static_cast<DWORD>(error))) {
        m_gone = true;
    }
}

bool CSerialChannel::LookForHangUp() {
    if (!m_isOpen || m_gone) {
        return m_gone;
    }
    // Asking for the queue is harmless, and fails once the device is gone.
    BytesWaiting();
    return m_gone;
}

void CSerialChannel::SetLastWords(std::string_view bytes) {
    if (m_isOpen) {
        pelmora::ArmLastWords(m_native->device, bytes);
    }
}

void CSerialChannel::DrainOutput() {
    // Output the device does not take is dropped after a bounded wait rather than left to hold
    // up the close. Only then: Wine's flush of a pseudo-terminal also throws away what the other
    // side has taken but not read yet.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kCloseDrainMs);
    COMSTAT status{};
    DWORD errors = 0;
    while (!m_gone && ::ClearCommError(m_native->device, &errors, &status) && status.cbOutQue > 0 &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(kDrainPollInterval);
    }
    ::PurgeComm(m_native->device,
                status.cbOutQue > 0 ? PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR
                                    : PURGE_RXABORT | PURGE_RXCLEAR);
}

bool CSerialChannel::Close() {
    if (!m_isOpen) {
        return true;
    }
    Native& native = *m_native;
    pelmora::DisarmLastWords(native.device);
    DrainOutput();
    native.reading.Release(native.device);
    native.writing.Release(native.device);
    ::CloseHandle(native.device);
    native.device = nullptr;
    native.claim.Let();
    m_device.clear();
    m_isOpen = false;
    m_gone = false;
    return true;
}

bool CSerialChannel::WriteByte(unsigned char byte) {
    if (m_gone) {
        return true;
    }
    const char data = static_cast<char>(byte);
    const auto result = m_native->writing.Write(m_native->device, {&data, 1}, kWriteWaitMs);
    NoteError(static_cast<int>(result.error));
    return true;
}

int CSerialChannel::BytesWaiting() {
    if (!m_isOpen || m_gone) {
        return 0;
    }
    COMSTAT status{};
    DWORD errors = 0;
    if (!::ClearCommError(m_native->device, &errors, &status)) {
        NoteError(static_cast<int>(::GetLastError()));
        return 0;
    }
    return static_cast<int>(std::min<DWORD>(status.cbInQue, kQueueBytes));
}

int CSerialChannel::Read(void* buffer, int maximum) {
    const int queued = BytesWaiting();
    if (queued <= 0 || maximum <= 0) {
        return 0;
    }
    OverlappedTransfer& reading = m_native->reading;
    const auto wanted = static_cast<DWORD>(std::min(maximum, queued));
    const auto result = reading.Read(m_native->device, wanted, kReadWaitMs);
    NoteError(static_cast<int>(result.error));
    const std::string_view received = reading.Received();
    std::copy(received.begin(), received.end(), static_cast<char*>(buffer));
    return static_cast<int>(received.size());
}

CSerialChannel::LineWait CSerialChannel::WaitForInput(int timeoutMs) {
    if (!m_isOpen) {
        return LineWait::Gone;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    for (;;) {
        if (BytesWaiting() > 0) {
            return LineWait::Done;
        }
        if (m_gone) {
            return LineWait::Gone;
        }
        if (Clock::now() >= deadline) {
            return LineWait::TimedOut;
        }
        std::this_thread::sleep_for(kQueuePollInterval);
    }
}

CSerialChannel::LineWait CSerialChannel::WriteWhole(std::string_view bytes) {
    if (!m_isOpen || m_gone) {
        return LineWait::Gone;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    while (!bytes.empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return LineWait::TimedOut;
        }
        const auto result =
            m_native->writing.Write(m_native->device, bytes, static_cast<DWORD>(left.count()));
        bytes.remove_prefix(std::min<std::size_t>(result.count, bytes.size()));
        NoteError(static_cast<int>(result.error));
        switch (result.error) {
        case 0:
            break;
        // Cancelled at the deadline, or the record still held by an earlier write.
        case ERROR_OPERATION_ABORTED:
        case ERROR_BUSY:
            return LineWait::TimedOut;
        default:
            return LineWait::Gone;
        }
    }
    return LineWait::Done;
}
