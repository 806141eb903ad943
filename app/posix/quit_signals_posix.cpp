#include "app/quit_signals.h"
#include "link/posix/ending_signals_posix.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kDrainChunk = 16;

// The write end for the handler; one set of handlers per process.
int g_signalWriteFd = -1;
std::array<int, 2> g_signalPair{-1, -1};

// Only writes a byte to the pair, the one thing that is safe inside a handler; the rest happens
// when the event loop reads that byte.
extern "C" void OnQuitSignal(int signalNumber) {
    const int savedErrno = errno;
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(g_signalWriteFd, &byte, 1);
    errno = savedErrno;
}

void Drain() {
    std::array<char, kDrainChunk> bytes{};
    while (::read(g_signalPair[1], bytes.data(), bytes.size()) > 0) {
    }
}

} // namespace

QuitSignals::QuitSignals(std::function<void()> onQuit, QObject* parent)
    : QObject(parent), m_onQuit(std::move(onQuit)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_signalPair.data()) !=
        0) {
        return;
    }
    g_signalWriteFd = g_signalPair[0];
    auto* notifier = new QSocketNotifier(g_signalPair[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        Drain();
        m_onQuit();
    });

    struct sigaction action {};
    action.sa_handler = OnQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : pelmora::StopSignalNumbers()) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    // A write to a reader that has gone (a closed pipe on the output) then fails, and is
    // handled as the failure it is, instead of ending the panel with the supply on.
    action.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &action, nullptr);
}

QuitSignals::~QuitSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signalNumber : pelmora::StopSignalNumbers()) {
        ::sigaction(signalNumber, &action, nullptr);
    }
    ::sigaction(SIGPIPE, &action, nullptr);
    for (int& fd : g_signalPair) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
    g_signalWriteFd = -1;
}
