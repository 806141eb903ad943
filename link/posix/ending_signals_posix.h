#pragma once

#include <array>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

// The signals whose default action ends the process, in two kinds. A program that must leave
// its device switched off handles every one of them.
namespace pelmora {

// Ending without a core dump: requests to stop, which a program can honour in its own time.
inline constexpr std::array kStopSignals = {SIGHUP,    SIGINT,  SIGTERM, SIGUSR1, SIGUSR2,  SIGALRM,
                                            SIGVTALRM, SIGPROF, SIGIO,   SIGPWR,  SIGSTKFLT};

// Every stop request: the signals above and the real-time ones, whose numbers the C library
// decides only when the program runs. None of them may end a program that holds a supply.
inline const std::vector<int>& StopSignalNumbers() {
    static const std::vector<int> numbers = [] {
        std::vector<int> all(kStopSignals.begin(), kStopSignals.end());
        for (int signalNumber = SIGRTMIN; signalNumber <= SIGRTMAX; ++signalNumber) {
            all.push_back(signalNumber);
        }
        return all;
    }();
    return numbers;
}

// Ending with a core dump where the system allows one: a fault, or a request for a dump. The
// process must still end by the signal, so that the dump and its cause are not lost.
inline constexpr std::array kCoreSignals = {SIGQUIT, SIGILL,  SIGTRAP, SIGABRT, SIGBUS,
                                            SIGFPE,  SIGSEGV, SIGXCPU, SIGXFSZ, SIGSYS};

// "SIGRTMIN", "SIGRTMIN+3" ... "SIGRTMAX", as kill -l names them at the low end.
inline const char* RealTimeSignalName(int signalNumber) {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) {
            std::string name = number == SIGRTMAX ? "SIGRTMAX" : "SIGRTMIN";
            if (number != SIGRTMIN && number != SIGRTMAX) {
                name += '+';
                name += std::to_string(number - SIGRTMIN);
            }
            all.push_back(std::move(name));
        }
        return all;
    }();
    if (signalNumber < SIGRTMIN || signalNumber > SIGRTMAX) {
        return "";
    }
    return names[static_cast<std::size_t>(signalNumber - SIGRTMIN)].c_str();
}

// "SIGUSR1" and the like for the signals above; empty for any other.
inline const char* SignalName(int signalNumber) {
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
        return RealTimeSignalName(signalNumber);
    }
}

} // namespace pelmora
