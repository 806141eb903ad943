#include "link/supply_protocol.h"
#include "tests/sim/line_client.h"
#include "tests/support/text_pattern.h"

#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace pelmora::sim {
namespace {

constexpr const char* kProgram = PELMORA_SIM_EXECUTABLE;
constexpr std::size_t kOutputLimit = 4096;

struct Finished {
    std::string output;
    int exitStatus = -1;
};

// Runs a shell command line and collects its standard output.
Finished RunShell(const std::string& commandLine) {
    Finished result;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, kOutputLimit> buffer{};
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe);
    result.output.assign(buffer.data(), got);
    const int status = ::pclose(pipe);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string ReadLine(int fd) {
    const auto deadline = std::chrono::steady_clock::now() + test::kGenerousWait;
    std::string line;
    while (!line.ends_with('\n') && std::chrono::steady_clock::now() < deadline) {
        const std::string byte =
            test::ReadBytes(fd, 1,
                            std::chrono::duration_cast<std::chrono::milliseconds>(
                                deadline - std::chrono::steady_clock::now()));
        if (byte.empty()) {
            break;
        }
        line += byte;
    }
    return line;
}

std::string Sim(const std::string& arguments) {
    return std::string(kProgram) + " " + arguments;
}

TEST(SimProgramTest, ChainedSimulatorsEachListTheirPortAndPassTheStatusOn) {
    const auto finished = RunShell(Sim("--name COM1 -- ") + Sim("--name COM12 -- ") +
                                   "sh -c 'printf %s \"$PELMORA_PORTS\"; exit 3'");
    EXPECT_TRUE(MatchesWhole(finished.output, R"(COM12=/dev/pts/\d+,COM1=/dev/pts/\d+)"))
        << finished.output;
    EXPECT_EQ(finished.exitStatus, 3);
}

TEST(SimProgramTest, ALoadChangeDueAtOnceShortsTheRailAsTheOutputGoesOn) {
    const auto finished = RunShell(
        Sim("--noise 0 --load-neg inf --load-change 3600:1,1 --load-change 0:0,inf -- ") +
        "sh -c 'dev=${PELMORA_PORTS%%,*}; dev=${dev#*=}; exec 3<>\"$dev\"; stty min 1 <&3; "
        "printf \"V050120\\rREQA\\r\" >&3; timeout 5 head -c 13 <&3'");
    EXPECT_EQ(finished.output, "ACKA,999,000\r");
    EXPECT_EQ(finished.exitStatus, 0);
}

TEST(SimProgramTest, CommandTalksToTheSupplyThroughTheListedPort) {
    // "min 1" makes the shell's reads wait for bytes instead of returning empty at once.
    const auto finished = RunShell(
        Sim("--identity-suffix 01 -- ") +
        "sh -c 'dev=${PELMORA_PORTS%%,*}; dev=${dev#*=}; exec 3<>\"$dev\"; stty min 1 <&3; "
        "printf \"REQPN\\r\" >&3; timeout 5 head -c 15 <&3'");
    EXPECT_EQ(finished.output, "ACKPNDRELVOV01\r");
    EXPECT_EQ(finished.exitStatus, 0);
}

TEST(SimProgramTest, BadArgumentsExitWithUsageStatus) {
    EXPECT_EQ(RunShell(Sim("--delay soon 2>/dev/null")).exitStatus, 2);
    EXPECT_EQ(RunShell(Sim("stray 2>/dev/null")).exitStatus, 2);
}

TEST(SimProgramTest, VersionAndHelpGoToStandardOutput) {
    const auto version = RunShell(Sim("--version"));
    EXPECT_TRUE(MatchesWhole(version.output, R"(pelmora-sim \d+(\.\d+)+\n)")) << version.output;
    EXPECT_EQ(version.exitStatus, 0);
    const auto help = RunShell(Sim("--help"));
    EXPECT_NE(help.output.find("--hang-up-after N"), std::string::npos) << help.output;
    EXPECT_EQ(help.exitStatus, 0);
}

TEST(SimProgramTest, WithoutACommandPrintsItsEntryAndServesUntilTerminated) {
    std::array<int, 2> pipeEnds{};
    ASSERT_EQ(::pipe2(pipeEnds.data(), O_CLOEXEC), 0);
    const UniqueFd readEnd(pipeEnds[0]);
    UniqueFd writeEnd(pipeEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
    std::array<char*, 4> argv = {const_cast<char*>(kProgram), const_cast<char*>("--name"),
                                 const_cast<char*>("COM5"), nullptr};
    pid_t child = 0;
    const int spawned = posix_spawn(&child, kProgram, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0);
    writeEnd.Reset();

    const std::string printed = ReadLine(readEnd.Get());
    const auto listed = WholeMatch(printed, R"(PELMORA_PORTS=COM5=(/dev/pts/\d+)\n)");
    if (listed) {
        test::LineClient line{std::filesystem::path((*listed)[1])};
        line.Send(protocol::kIdentityRequest);
        EXPECT_EQ(line.Receive(protocol::kIdentityReply.size()), protocol::kIdentityReply);
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(listed) << printed;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
} // namespace pelmora::sim

namespace pelmora::sim {
namespace {

TEST(SimProgramTest, AnEmptyValueRunsNothing) {
    const auto finished = RunShell(Sim("--log '' -- sh -c 'echo ran' 2>&1"));
    EXPECT_EQ(finished.exitStatus, 2);
    EXPECT_EQ(finished.output.find("ran"), std::string::npos) << finished.output;
}

TEST(SimProgramTest, AHugeArgumentIsQuotedBackCut) {
    const std::string huge = "\"$(head -c 100000 /dev/zero | tr '\\0' x)\"";
    for (const std::string& arguments :
         {"--delay " + huge, "--" + huge, "--log /nonexistent/" + huge + " -- true",
          "--seed " + huge}) {
        // head ends the pipe, so that an endless message fails the test instead of hanging it.
        const auto finished = RunShell(Sim(arguments) + " 2>&1 | head -c 1000");
        EXPECT_LT(finished.output.size(), 400u) << finished.output.substr(0, 400);
        EXPECT_NE(finished.output.find("xxx... (100"), std::string::npos) << finished.output;
    }
}

} // namespace
} // namespace pelmora::sim
