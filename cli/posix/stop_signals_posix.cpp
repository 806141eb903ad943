#include "cli/stop_signals.h"
#include "link/posix/ending_signals_posix.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace pelmora::cli {

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");
// The handler writes a byte here, which wakes a sleep at once.
std::array<int, 2> g_wakePipe{-1, -1};

extern "C" void OnStopSignal(int signalNumber) {
    const int savedErrno = errno;
    g_stopSignal.store(signalNumber);
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(g_wakePipe[1], &byte, 1);
    errno = savedErrno;
}

void SetHandler(int signalNumber, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

StopSignals::StopSignals() {
    g_stopSignal.store(0);
    if (::pipe2(g_wakePipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        g_wakePipe = {-1, -1};
    }
    for (const int signalNumber : pelmora::StopSignalNumbers()) {
        SetHandler(signalNumber, OnStopSignal);
    }
    SetHandler(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
    for (const int signalNumber : pelmora::StopSignalNumbers()) {
        SetHandler(signalNumber, SIG_DFL);
    }
    SetHandler(SIGPIPE, SIG_DFL);
    for (int& fd : g_wakePipe) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

bool StopSignals::StopRequested() const {
    return g_stopSignal.load() != 0;
}

const char* StopSignals::SignalName() const {
    return pelmora::SignalName(g_stopSignal.load());
}

bool StopSignals::SleepFor(std::chrono::milliseconds period) const {
    const auto deadline = Clock::now() + period;
    while (!StopRequested()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return true;
        }
        pollfd wake{g_wakePipe[0], POLLIN, 0};
        ::poll(&wake, 1,
               static_cast<int>(std::min<std::chrono::milliseconds::rep>(
                   left.count(), std::numeric_limits<int>::max())));
    }
    return false;
}

} // namespace pelmora::cli
