#pragma once

#include <array>
#include <csignal>

// The signals whose default action ends the process, in two kinds. A program that must leave
// its device switched off handles every one of them.
namespace pelmora {

// Ending without a core dump: requests to stop, which a program can honour in its own time.
inline constexpr std::array kStopSignals = {SIGHUP,    SIGINT,  SIGTERM, SIGUSR1, SIGUSR2,  SIGALRM,
                                            SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};

// Ending with a core dump where the system allows one: a fault, or a request for a dump. The
// process must still end by the signal, so that the dump and its cause are not lost.
inline constexpr std::array kCoreSignals = {SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                            SIGFPE,  SIGSEGV, SIGXCPU, SIGXFSZ, SIGSYS};

// "SIGUSR1" and the like for the signals above; empty for any other.
constexpr const char* SignalName(int signalNumber) {
    switch (signalNumber) {
    case SIGHUP:
        return "SIGHUP";
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGUSR1:
        return "SIGUSR1";
    case SIGUSR2:
        return "SIGUSR2";
    case SIGALRM:
        return "SIGALRM";
    case SIGVTALRM:
        return "SIGVTALRM";
    case SIGPROF:
        return "SIGPROF";
    case SIGIO:
        return "SIGIO";
    case SIGPWR:
        return "SIGPWR";
    case SIGSTKFLT:
        return "SIGSTKFLT";
    case SIGQUIT:
        return "SIGQUIT";
    case SIGILL:
        return "SIGILL";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGABRT:
        return "SIGABRT";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGSEGV:
        return "SIGSEGV";
    case SIGXCPU:
        return "SIGXCPU";
    case SIGXFSZ:
        return "SIGXFSZ";
    case SIGSYS:
        return "SIGSYS";
    default:
        return "";
    }
}

} // namespace pelmora
