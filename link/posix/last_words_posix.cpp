#include "link/posix/last_words_posix.h"

#include "link/posix/ending_signals_posix.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

namespace pelmora {

namespace {

// Room for the handler to run when the crash is a stack overflow.
constexpr std::size_t kHandlerStackBytes = 64 * 1024;

// The bytes are written before the descriptor is published and never while it is.
std::array<char, kLastWordsCapacity> g_bytes{};
std::size_t g_length = 0;
std::atomic<int> g_descriptor{-1};
static_assert(std::atomic<int>::is_always_lock_free, "read from signal handlers");

void SayLastWords() {
    const int descriptor = g_descriptor.exchange(-1);
    if (descriptor >= 0) {
        [[maybe_unused]] const auto written = ::write(descriptor, g_bytes.data(), g_length);
    }
}

extern "C" void OnExit() {
    SayLastWords();
}

// The process still ends by the signal, with the core dump its default action makes.
extern "C" void OnEndingSignal(int signalNumber) {
    SayLastWords();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signalNumber, &fallback, nullptr);
    ::raise(signalNumber);
}

const struct sigaction& EndingAction() {
    static const struct sigaction action = [] {
        struct sigaction made {};
        made.sa_handler = OnEndingSignal;
        sigemptyset(&made.sa_mask);
        made.sa_flags = SA_ONSTACK;
        return made;
    }();
    return action;
}

void InstallHandlers() {
    static std::array<char, kHandlerStackBytes> handlerStack{};
    stack_t alternate{};
    alternate.ss_sp = handlerStack.data();
    alternate.ss_size = handlerStack.size();
    ::sigaltstack(&alternate, nullptr);

    for (const int signalNumber : kCoreSignals) {
        ::sigaction(signalNumber, &EndingAction(), nullptr);
    }
    std::atexit(OnExit);
}

// A program with handlers of its own for these stops in its own way, and one that ignores a
// signal has chosen to; only one that would be ended outright needs the last words said.
void CoverUnhandledStopSignals() {
    for (const int signalNumber : StopSignalNumbers()) {
        struct sigaction current {};
        if (::sigaction(signalNumber, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            (current.sa_flags & SA_SIGINFO) == 0) {
            ::sigaction(signalNumber, &EndingAction(), nullptr);
        }
    }
}

} // namespace

void ArmLastWords(int descriptor, std::string_view bytes) {
    static std::once_flag installed;
    std::call_once(installed, InstallHandlers);
    CoverUnhandledStopSignals();
    g_descriptor.store(-1);
    g_length = std::min(bytes.size(), g_bytes.size());
    std::copy_n(bytes.begin(), g_length, g_bytes.begin());
    g_descriptor.store(descriptor);
}

void DisarmLastWords(int descriptor) {
    int armed = descriptor;
    g_descriptor.compare_exchange_strong(armed, -1);
}

} // namespace pelmora
