#include "sim/signals.h"

#include <initializer_list>
#include <pthread.h>

namespace pelmora::sim {

sigset_t BlockHandledSignals() {
    sigset_t handled;
    sigemptyset(&handled);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD}) {
        sigaddset(&handled, signal);
    }
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    return handled;
}

void WaitForStopSignal(const sigset_t& handled) {
    int signal = SIGCHLD;
    while (sigwait(&handled, &signal) != 0 || signal == SIGCHLD) {
    }
}

} // namespace pelmora::sim
