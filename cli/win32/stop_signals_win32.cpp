#include "cli/stop_signals.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <windows.h>

namespace pelmora::cli {

namespace {

// How long the system is kept from ending the process once its console closes, the user logs
// off or the system shuts down (the system waits 5 s at most): long enough to switch the supply
// off and leave the recording whole.
constexpr DWORD kEndingGraceMs = 4000;
// The longest wait WaitForSingleObject takes that is not "for ever".
constexpr DWORD kLongestWaitMs = INFINITE - 1;

std::atomic<bool> g_stopping{false};
std::atomic<DWORD> g_stopEvent{0};
// Set when a stop is asked for, which wakes a sleep at once.
HANDLE g_wake = nullptr;
// Set when the StopSignals goes: the process has done what it must before it ends.
HANDLE g_finished = nullptr;

// The system runs this on a thread of its own.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    const bool ending =
        event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT;
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && !ending) {
        return FALSE;
    }
    g_stopEvent.store(event);
    g_stopping.store(true);
    ::SetEvent(g_wake);
    // For these the process ends as soon as the handler returns.
    if (ending) {
        ::WaitForSingleObject(g_finished, kEndingGraceMs);
    }
    return TRUE;
}

// The events live as long as the process: a handler may still wait on one as it ends.
void MakeEvents() {
    g_wake = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_finished = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

} // namespace

StopSignals::StopSignals() {
    static std::once_flag made;
    std::call_once(made, MakeEvents);
    ::ResetEvent(g_wake);
    ::ResetEvent(g_finished);
    g_stopping.store(false);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    ::SetEvent(g_finished);
}

bool StopSignals::StopRequested() const {
    return g_stopping.load();
}

const char* StopSignals::SignalName() const {
    if (!StopRequested()) {
        return "";
    }
    switch (g_stopEvent.load()) {
    case CTRL_C_EVENT:
        return "Ctrl+C";
    case CTRL_BREAK_EVENT:
        return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
        return "the console closing";
    case CTRL_LOGOFF_EVENT:
        return "the user logging off";
    default:
        return "the system shutting down";
    }
}

bool StopSignals::SleepFor(std::chrono::milliseconds period) const {
    if (StopRequested()) {
        return false;
    }
    const auto wait = std::clamp<std::chrono::milliseconds::rep>(period.count(), 0, kLongestWaitMs);
    ::WaitForSingleObject(g_wake, static_cast<DWORD>(wait));
    return !StopRequested();
}

} // namespace pelmora::cli
