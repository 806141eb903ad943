#include "link/win32/last_words_win32.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>

namespace pelmora {

namespace {

// Long enough for a device that takes bytes, short enough not to hold up an ending process.
constexpr DWORD kLastWordsWaitMs = 500;

// The bytes and the record are made before the device is published and never while it is, so
// that the handlers need neither memory nor locks.
std::array<char, kLastWordsCapacity> g_bytes{};
DWORD g_length = 0;
OVERLAPPED g_record{};
std::atomic<HANDLE> g_device{nullptr};
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

void SayLastWords() {
    const HANDLE device = g_device.exchange(nullptr);
    if (device == nullptr) {
        return;
    }
    if (!::WriteFile(device, g_bytes.data(), g_length, nullptr, &g_record) &&
        ::GetLastError() == ERROR_IO_PENDING &&
        ::WaitForSingleObject(g_record.hEvent, kLastWordsWaitMs) != WAIT_OBJECT_0) {
        // The bytes live as long as the process; the record must not outlive the write.
        ::CancelIoEx(device, &g_record);
        ::WaitForSingleObject(g_record.hEvent, kLastWordsWaitMs);
    }
}

void OnExit() {
    SayLastWords();
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* exception) {
    SayLastWords();
    return g_previousFilter != nullptr ? g_previousFilter(exception) : EXCEPTION_CONTINUE_SEARCH;
}

void OnAbort(int signalNumber) {
    SayLastWords();
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

void InstallHandlers() {
    g_record.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_previousFilter = ::SetUnhandledExceptionFilter(OnUnhandledException);
    std::signal(SIGABRT, OnAbort);
    std::atexit(OnExit);
}

} // namespace

void ArmLastWords(HANDLE device, std::string_view bytes) {
    static std::once_flag installed;
    std::call_once(installed, InstallHandlers);
    g_device.store(nullptr);
    if (g_record.hEvent == nullptr) {
        return;
    }
    g_length = static_cast<DWORD>(std::min(bytes.size(), g_bytes.size()));
    std::copy_n(bytes.begin(), g_length, g_bytes.begin());
    g_device.store(device);
}

void DisarmLastWords(HANDLE device) {
    HANDLE armed = device;
    g_device.compare_exchange_strong(armed, nullptr);
}

} // namespace pelmora
