#include "app/quit_signals.h"

#include <QMetaObject>
#include <atomic>
#include <windows.h>

namespace {

// How long the system is kept from ending the process once its console closes, the user logs
// off or the system shuts down (it waits 5 s at most): long enough for the panel's closing
// sequence to switch the supply off.
constexpr DWORD kEndingGraceMs = 4000;

// What the handler asks the UI thread to do, and of whom; set before the handler is installed.
std::function<void()> g_quit;
std::atomic<QObject*> g_receiver{nullptr};
// Set once the quit has run on the UI thread.
HANDLE g_quitDone = nullptr;

// The system calls this on a thread of its own.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    QObject* const receiver = g_receiver.load();
    if (receiver == nullptr) {
        return FALSE;
    }
    QMetaObject::invokeMethod(
        receiver,
        [] {
            g_quit();
            ::SetEvent(g_quitDone);
        },
        Qt::QueuedConnection);
    // For these the process ends as soon as the handler returns.
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        ::WaitForSingleObject(g_quitDone, kEndingGraceMs);
    }
    return TRUE;
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> onQuit, QObject* parent)
    : QObject(parent), m_onQuit(std::move(onQuit)) {
    if (g_quitDone == nullptr) {
        g_quitDone = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ::ResetEvent(g_quitDone);
    g_quit = [this] { m_onQuit(); };
    g_receiver.store(this);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

QuitSignals::~QuitSignals() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_receiver.store(nullptr);
}
