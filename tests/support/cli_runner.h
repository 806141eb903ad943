#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// The built pelmora-cli run as a user runs it, with the port list of the test.
struct CliRun {
    // False when it had to be killed for overrunning its bound: it hung.
    bool finished = false;
    int exitStatus = -1;
    // The signal that ended it, and whether it left a core dump; 0 and false when it exited.
    int endingSignal = 0;
    bool coreDumped = false;
    std::string out;
    std::string err;
};

// Long enough that only a hang runs into it, even on a loaded sanitizer build.
inline constexpr std::chrono::milliseconds kRunBound{20000};

// The built pelmora-cli.
extern const char* const kCliProgram;

// How long a run waits for each reply unless its arguments say: far beyond what the simulated
// supply takes, so that a loaded machine does not fail a test that is not about the wait.
inline constexpr const char* kPatientWaitMs = "1000";

// A pelmora-cli process started with `arguments` (and the patient wait, unless they give
// --wait) and PELMORA_PORTS set to `ports`; its output goes to files, so it never waits for the
// test to read.
class RunningCli {
public:
    RunningCli(const std::vector<std::string>& arguments, const std::string& ports);
    ~RunningCli();
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    void Signal(int signalNumber) const;
    // What it has written so far.
    std::string OutputSoFar() const;
    std::string ErrorsSoFar() const;
    // Waits for it to end, killing it once `bound` has passed.
    CliRun Finish(std::chrono::milliseconds bound = kRunBound);

private:
    pid_t m_pid = -1;
    std::string m_outFile;
    std::string m_errFile;
    bool m_reaped = false;
};

CliRun RunCli(const std::vector<std::string>& arguments, const std::string& ports);
