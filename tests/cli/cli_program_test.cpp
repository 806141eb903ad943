#include "link/serial_channel.h"
#include "rules/sequence_file.h"
#include "sim/simulated_supply.h"
#include "tests/support/cli_runner.h"
#include "tests/support/exclusive_holder.h"
#include "tests/support/other_user.h"
#include "tests/support/pty_peer.h"
#include "tests/support/spawned_program.h"
#include "tests/support/supply_ports.h"
#include "tests/support/text_pattern.h"
#include "tests/support/wait_until.h"

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

std::vector<std::string> Wire(const SimulatedSupply& supply) {
    std::vector<std::string> commands;
    for (const auto& logged : supply.Log()) {
        commands.push_back(logged.bytes);
    }
    return commands;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The JSON parser that the output must satisfy, as scripts use it.
constexpr const char* kPython = "/usr/bin/python3";

struct ShellRun {
    std::string output;
    int exitStatus = -1;
};

ShellRun RunShell(const std::string& commandLine) {
    ShellRun result;
    FILE* pipe = ::popen(commandLine.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    std::array<char, 4096> buffer{};
    for (std::size_t got = 0; (got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        result.output.append(buffer.data(), got);
    }
    const int status = ::pclose(pipe);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace

TEST(CliVerbs, EachVerbPutsItsCommandOnTheWire) {
    SimulatedSupply supply;
    const std::string ports = Ports(supply);
    const std::string label = "COM3 (" + supply.SlavePath().string() + ")";

    auto run = RunCli({"identify"}, ports);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, label + ": ACKPNDRELVOV99\\r\n");

    run = RunCli({"set", "5", "-12"}, ports);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.out, label + ": output on at +5V / -12V\n");
    EXPECT_TRUE(supply.State().outputOn);

    // 5 V and 12 V into 100 ohms, give or take the simulated noise of 2 mA.
    run = RunCli({"read"}, ports);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    const auto fields = WholeMatch(run.out, R"(pos_mA=(\d+) neg_mA=(\d+)\n)");
    ASSERT_TRUE(fields) << run.out;
    EXPECT_NEAR(std::stoi((*fields)[1]), 50, 2);
    EXPECT_NEAR(std::stoi((*fields)[2]), 120, 2);

    run = RunCli({"read", "--json", "--port", "com3"}, ports);
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(MatchesWhole(run.out,
                             R"(\{"port":"COM3","device":"/dev/pts/\d+","time":"[-0-9T:.+]+",)"
                             R"("pos_mA":\d+,"neg_mA":\d+\}\n)"))
        << run.out;

    EXPECT_EQ(RunCli({"off"}, ports).exitStatus, 0);
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(RunCli({"on", "-q"}, ports).out, "");
    EXPECT_EQ(supply.State().positiveCode, "010");
    EXPECT_EQ(RunCli({"on", "1.5V", "2"}, ports).exitStatus, 0);
    EXPECT_EQ(
        RunCli({"set", "--code", "130", "015", "--device", supply.SlavePath()}, ports).exitStatus,
        0);

    // Every run makes sure it talks to the supply before it sends anything else.
    const std::vector<std::string> expected = {
        "REQPN\r", "REQPN\r", "V050120\r", "REQPN\r", "REQA\r",    "REQPN\r", "REQA\r",   "REQPN\r",
        "RST\r",   "REQPN\r", "V010010\r", "REQPN\r", "V015020\r", "REQPN\r", "V130015\r"};
    EXPECT_EQ(Wire(supply), expected);
}

TEST(CliVerbs, AResultThatCannotBeWrittenIsNoSuccess) {
    SimulatedSupply supply;
    const std::string errors = "/tmp/pelmora-cli-full-" + std::to_string(::getpid());
    for (const char* verb : {"read", "identify", "ports"}) {
        SpawnedProgram cli({PELMORA_CLI_EXECUTABLE, verb, "--wait", kPatientWaitMs},
                           {{"PELMORA_PORTS", Ports(supply)}}, "/dev/full", errors);
        const auto status = cli.WaitForEnd(kRunBound);
        ASSERT_TRUE(status) << verb;
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1) << verb;
        std::ifstream said(errors);
        const std::string line((std::istreambuf_iterator<char>(said)), {});
        EXPECT_TRUE(Contains(line, "cannot write to standard output (No space left on device)"))
            << verb << ": " << line;
    }
    ::unlink(errors.c_str());
}

TEST(CliVerbs, KernelDefaultModesAndXoffFromTheSupplyDoNotGetInTheWay) {
    SimConfig config;
    config.kernelModes = true;
    config.xoffAfterReplies = true;
    SimulatedSupply supply(config);
    const auto run = RunCli({"monitor", "--samples", "3", "--interval", "0"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4) << run.out;
    EXPECT_FALSE(Contains(run.out, ",,,,")) << run.out;
    EXPECT_EQ(RunCli({"off"}, Ports(supply)).exitStatus, 0);
    EXPECT_EQ(Wire(supply).back(), "RST\r");
}

TEST(CliVerbs, VerboseShowsEveryByteWithItsTime) {
    SimulatedSupply supply;
    const auto run = RunCli({"read", "-v"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(MatchesWithin(run.err, R"(\d\d:\d\d:\d\d\.\d{3}[-+]\d\d:\d\d COM3 .* > REQA\\r)"))
        << run.err;
    EXPECT_TRUE(Contains(run.err, "< ACKA,000,000\\r")) << run.err;
}

struct FaultCase {
    const char* name;
    SimConfig config;
    std::vector<std::string> arguments;
    int exitStatus;
    const char* message;
};

TEST(CliFaults, EachFaultGivesItsErrorWithoutHanging) {
    const auto with = [](auto change) {
        SimConfig config;
        change(config);
        return config;
    };
    const std::vector<FaultCase> cases = {
        {"delay beyond the wait",
         with([](SimConfig& c) { c.replyDelay = 200ms; }),
         {"identify", "--wait", "30"},
         1,
         "no reply to 'REQPN\\r' within 30 ms"},
        {"stops answering",
         with([](SimConfig& c) { c.stopAnsweringAfter = 1; }),
         {"read", "--wait", "200"},
         1,
         "no reply to 'REQA\\r' within 200 ms"},
        {"garbage",
         with([](SimConfig& c) { c.garbageReplies = true; }),
         {"identify"},
         1,
         "unexpected reply to 'REQPN\\r': '"},
        {"split beyond the wait",
         with([](SimConfig& c) { c.splitGap = 1500ms; }),
         {"identify", "--wait", "200"},
         1,
         "reply to 'REQPN\\r' cut short: only 'ACKPNDR' within 200 ms"},
        {"split within the wait",
         with([](SimConfig& c) { c.splitGap = 10ms; }),
         {"read", "--wait", "500"},
         0,
         ""},
        {"long reply",
         with([](SimConfig& c) { c.longCurrentReply = true; }),
         {"read"},
         1,
         "over-long reply to 'REQA\\r': 'ACKA,000,000      "},
        {"hang-up",
         with([](SimConfig& c) { c.hangUpAfter = 2; }),
         {"read"},
         1,
         "the port went away during 'REQA\\r'"},
    };
    for (const auto& fault : cases) {
        SimulatedSupply supply(fault.config);
        const auto run = RunCli(fault.arguments, Ports(supply));
        EXPECT_TRUE(run.finished) << fault.name;
        EXPECT_EQ(run.exitStatus, fault.exitStatus) << fault.name << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, fault.message)) << fault.name << ": " << run.err;
        if (fault.exitStatus != 0) {
            // One line that names the port.
            EXPECT_TRUE(Contains(run.err, "COM3 (" + supply.SlavePath().string() + ")")) << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
    }
}

TEST(CliArguments, BadArgumentsSendNothingAndExitWithTwo) {
    SimulatedSupply supply;
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"frobnicate"},
        {"set", "5"},
        {"set", "5", "-5.5"},
        {"set", "-5", "5"},
        {"set", "14", "-5"},
        {"set", "--code", "050", "125"},
        {"on", "5"},
        {"read", "--wait", "0"},
        {"read", "--wait", "soon"},
        {"read", "--wait", "60001"},
        {"read", "--wait", "0x10"},
        {"identify", "--json"},
        {"set", "5", "5", "5"},
        {"monitor", "--samples", "0"},
        {"monitor", "--duration", "nan"},
        {"read", "-q", "-v"},
        {"read", "--port", "COM3", "--device", "/dev/null"},
        {"monitor", "--interval", "-1"},
        {"monitor", "--samples", "3", "--duration", "1"},
        {"monitor", "--duration", "0"},
        {"monitor", "--csv", "/nonexistent/dir/currents.csv"},
        {"ports", "--bogus"},
        {"identify", "stray"},
        // An empty value is a mistake (an unset variable), not an option left out.
        {"set", "13", "-13", "--device", ""},
        {"--device=", "set", "13", "-13"},
        {"on", "--port", ""},
        {"on", "--port="},
        {"read", "--wait", ""},
        {"monitor", "--csv", ""},
        {"monitor", "--interval="},
        {"monitor", "--duration", ""},
        {"monitor", "--samples", ""},
    };
    for (const auto& arguments : refused) {
        const auto run = RunCli(arguments, Ports(supply));
        const std::string line = arguments.empty() ? "(none)" : arguments.front();
        EXPECT_EQ(run.exitStatus, 2) << line << ": " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_TRUE(run.err.starts_with("pelmora-cli: ")) << run.err;
    }
    EXPECT_TRUE(Contains(RunCli({"set", "5", "-5.5"}, Ports(supply)).err,
                         "valid steps: -1, -1.5, -2, -2.5, -3, -3.5, -4, -5, -6, -7, -8, -9, -10, "
                         "-11, -12, -13 V"));

    const auto help = RunCli({"set", "--help"}, Ports(supply));
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_TRUE(Contains(help.out, "Usage: pelmora-cli set [OPTIONS] POS NEG")) << help.out;
    EXPECT_TRUE(Contains(help.out, "also switches the output on")) << help.out;
    const auto version = RunCli({"--version"}, Ports(supply));
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_TRUE(MatchesWhole(version.out, R"(pelmora-cli \d+(\.\d+)+\n)"));

    supply.Stop();
    EXPECT_TRUE(supply.Log().empty());
}

TEST(CliSearch, NoSupplyOrNoPortIsExitOne) {
    PseudoTerminal silent;
    auto run = RunCli({"identify"}, "COM1=" + silent.DevicePath().string());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Contains(run.err, "no supply found: COM1 (" + silent.DevicePath().string() +
                                      "): no reply to 'REQPN\\r'"))
        << run.err;

    run = RunCli({"read", "--port", "COM9"}, "COM1=" + silent.DevicePath().string());
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_TRUE(Contains(run.err, "COM9 is not a listed port (listed: COM1)")) << run.err;
}

TEST(CliSearch, FindsTheSupplyBehindOtherDevicesInNumberOrder) {
    SimConfig other;
    other.identitySuffix = "01";
    SimulatedSupply stranger(other);
    SimulatedSupply supply;
    SimulatedSupply second;
    const auto run = RunCli({"identify"}, "COM12=" + supply.SlavePath().string() +
                                              ",COM4=" + stranger.SlavePath().string() +
                                              ",COM20=" + second.SlavePath().string());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_TRUE(run.out.starts_with("COM12 ")) << run.out;
    EXPECT_EQ(Wire(stranger).size(), 1u);
    EXPECT_TRUE(Wire(second).empty());
}

TEST(CliSearch, PortsThatCannotBeUsedExitWithThree) {
    SimulatedSupply supply;
    CSerialChannel holder;
    ASSERT_TRUE(holder.OpenDevice(supply.SlavePath(), 921600));

    auto run = RunCli({"read"}, Ports(supply));
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_TRUE(Contains(run.err, "busy: held by PID " + std::to_string(::getpid()))) << run.err;
    run = RunCli({"read", "--device", "/dev/null"}, "");
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_TRUE(Contains(run.err, "/dev/null: not a terminal")) << run.err;
    holder.Close();
    supply.Stop();
    EXPECT_TRUE(supply.Log().empty());
}

TEST(CliSearch, APortLeftExclusiveByAnotherProgramSaysWhoKeepsItOpenAndWhatToDo) {
    PseudoTerminal device;
    const ExclusiveHolder stranger(device.DevicePath());
    ASSERT_TRUE(stranger.Holding());
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);

    const auto run = RunCli({"off"}, "COM3=" + device.DevicePath().string());
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_TRUE(Contains(run.err, "busy: left in exclusive mode, and kept open by PID " +
                                      std::to_string(stranger.Pid()) + " (" + name +
                                      "); end or restart that program, or have it release the "
                                      "port"))
        << run.err;
    EXPECT_FALSE(Contains(run.err, "held by")) << run.err;
    EXPECT_EQ(device.Receive(100), "");
}

// The simulated supply (here in the test's own process) keeps its port open too: every program
// that does is named, as any of them may have left the port so.
TEST(CliSearch, EveryProgramThatKeepsAPortLeftExclusiveOpenIsNamed) {
    SimulatedSupply supply;
    const ExclusiveHolder stranger(supply.SlavePath());
    ASSERT_TRUE(stranger.Holding());
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);

    // By process number.
    const auto first = std::min<pid_t>(::getpid(), stranger.Pid());
    const auto second = std::max<pid_t>(::getpid(), stranger.Pid());

    const auto run = RunCli({"ports"}, Ports(supply));
    EXPECT_TRUE(Contains(run.out, "busy: left in exclusive mode, and kept open by PID " +
                                      std::to_string(first) + " (" + name + "), PID " +
                                      std::to_string(second) + " (" + name + ")\n"))
        << run.out;
    EXPECT_TRUE(supply.Log().empty());
}

TEST(CliSimulatedPort, AClientKilledOutrightTakesItsHoldWithIt) {
    SimulatedSupply supply;
    ASSERT_EQ(RunCli({"set", "5", "-5"}, Ports(supply)).exitStatus, 0);
    RunningCli monitor({"monitor", "--interval", "2"}, Ports(supply));
    const auto polls = [&] {
        const auto wire = Wire(supply);
        return std::count(wire.begin(), wire.end(), "REQA\r");
    };
    ASSERT_TRUE(WaitUntil([&] { return polls() >= 2; }, 10s));
    monitor.Signal(SIGKILL);
    ASSERT_EQ(monitor.Finish().endingSignal, SIGKILL);
    ASSERT_TRUE(supply.State().outputOn);
    // Unlike a real device's, the simulated port lets go once the supply has seen the close: a
    // moment after the kill, longer on a loaded machine.
    const auto exclusive = [&] {
        const int fd = ::open(supply.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int flag = 1;
        if (fd >= 0) {
            ::ioctl(fd, TIOCGEXCL, &flag);
            ::close(fd);
        }
        return flag != 0;
    };
    ASSERT_TRUE(WaitUntil([&] { return !exclusive(); }, 10s)) << "the port stays exclusive";

    const auto off = RunCli({"off"}, Ports(supply));
    EXPECT_EQ(off.exitStatus, 0) << off.err;
    EXPECT_FALSE(supply.State().outputOn);
    EXPECT_EQ(Wire(supply).back(), "RST\r");
}

TEST(CliSearch, UnreadablePortOfNoUsersGroupPointsToAUdevRule) {
    if (::geteuid() != 0 || !CanRunUnprivileged()) {
        GTEST_SKIP() << "giving the device to root, and running as another user, takes root";
    }
    PseudoTerminal device;
    ASSERT_EQ(::chown(device.DevicePath().c_str(), 0, 0), 0);
    ASSERT_EQ(::chmod(device.DevicePath().c_str(), 0600), 0);
    const auto result = RunAsUnprivilegedUser([&](std::string& report) {
        const auto run = RunCli({"off"}, "COM3=" + device.DevicePath().string());
        report = run.err;
        return run.exitStatus;
    });
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(Contains(result.report,
                         "permission denied: the device is owned by root:root, mode 0600; have a "
                         "udev rule give it to the dialout group (see \"Device permissions\" in "
                         "the README)"))
        << result.report;
    EXPECT_FALSE(Contains(result.report, "usermod")) << result.report;
    EXPECT_EQ(device.Receive(100), "");
}

TEST(CliSearch, UnreadablePortTellsTheGroupToJoin) {
    if (!CanRunUnprivileged()) {
        GTEST_SKIP() << "no unprivileged user to run as";
    }
    PseudoTerminal device;
    ASSERT_EQ(::chmod(device.DevicePath().c_str(), 0), 0);
    ASSERT_TRUE(GiveToDialoutGroup(device.DevicePath()));
    struct stat node {};
    ASSERT_EQ(::stat(device.DevicePath().c_str(), &node), 0);
    const std::string group = ::getgrgid(node.st_gid)->gr_name;
    const auto result = RunAsUnprivilegedUser([&](std::string& report) {
        const auto run = RunCli({"off"}, "COM3=" + device.DevicePath().string());
        report = run.err;
        return run.exitStatus;
    });
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(Contains(result.report, "permission denied: the device belongs to group " + group +
                                            "; run 'sudo usermod -aG " + group +
                                            " $USER', then log in again"))
        << result.report;
    EXPECT_EQ(device.Receive(100), "");
}

TEST(CliSearch, APortListWithoutAUsableEntryIsMalformedAndSendsNothing) {
    SimulatedSupply supply;
    const std::string device = supply.SlavePath().string();
    for (const std::string& listed :
         std::vector<std::string>{"", ",,,", "=", "COM3=", "COM3", device}) {
        for (const auto& arguments :
             {std::vector<std::string>{"set", "5", "-5"}, std::vector<std::string>{"ports"},
              std::vector<std::string>{"off", "--port", "COM3"}}) {
            const auto run = RunCli(arguments, listed);
            EXPECT_EQ(run.exitStatus, 2) << listed << ": " << run.err;
            EXPECT_EQ(run.err, "pelmora-cli: PELMORA_PORTS is malformed: '" + listed +
                                   "' lists no port; its form is NAME=PATH[,NAME=PATH]..., e.g. "
                                   "COM3=/dev/ttyACM0 (unset it for the machine's own serial "
                                   "ports)\n");
        }
    }
    EXPECT_TRUE(supply.Log().empty());
    // A device named by its path needs no list.
    EXPECT_EQ(RunCli({"off", "--device", device}, "COM3=").exitStatus, 0);
}

TEST(CliArguments, AHugeArgumentIsQuotedBackCut) {
    SimulatedSupply supply;
    const std::string huge(100000, 'x');
    const std::vector<std::vector<std::string>> runs = {
        {"read", "--device", "/dev/" + huge},
        {"read", "--port", huge},
        {"set", huge, "-5"},
        {"set", "--code", "050", huge},
        {"read", "--" + huge},
        {"read", "--wait=" + huge},
        {"monitor", "--duration", huge},
        {"monitor", "--csv", "/tmp/" + huge},
        {huge},
    };
    for (const auto& arguments : runs) {
        const auto run = RunCli(arguments, Ports(supply));
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_LT(run.err.size(), 400u) << run.err.substr(0, 400);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
    }
    EXPECT_TRUE(Contains(RunCli({"read", "--port", huge}, Ports(supply)).err,
                         "xxxxxxxxxx... (100000 bytes) is not a listed port"));
    supply.Stop();
    EXPECT_TRUE(supply.Log().empty());
}

TEST(CliArguments, RunRefusesWhatIsNoSequenceFileAtOnceWithNothingSent) {
    SimulatedSupply supply;
    const fs::path dir = fs::temp_directory_path() / ("pelmora-run-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path pipe = dir / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // Without a byte on the disk.
    const fs::path large = dir / "large.csv";
    std::ofstream(large).close();
    fs::resize_file(large, 2 * pelmora::kMaxSequenceFileBytes);
    // A pipe without a writer would hold it for good, and /dev/zero would take all the memory.
    const std::vector<std::pair<std::string, std::string>> refused = {
        {pipe.string(), "a named pipe (FIFO), not a regular file"},
        {"/dev/zero", "a character device, not a regular file"},
        {large.string(), "larger than 1048576 bytes, the most a sequence file may hold"}};
    for (const auto& [file, why] : refused) {
        const auto run = RunCli({"run", file}, Ports(supply));
        EXPECT_TRUE(run.finished) << file;
        EXPECT_EQ(run.exitStatus, 2) << run.err;
        EXPECT_EQ(run.err, "pelmora-cli: run: cannot read " + file + ": " + why +
                               "; nothing was sent; see 'pelmora-cli --help'\n");
    }
    fs::remove_all(dir);
    supply.Stop();
    EXPECT_TRUE(supply.Log().empty());
}

TEST(CliVerbs, PortsAsJsonIsValidUtf8ForAJsonParser) {
    if (::access(kPython, X_OK) != 0) {
        GTEST_SKIP() << "no " << kPython;
    }
    SimulatedSupply supply;
    const fs::path dir = fs::temp_directory_path() / ("pelmora-json-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // "prüfstand-é", and a name with a stray continuation byte, a truncated sequence, an
    // overlong "/", a surrogate and a byte that never occurs in UTF-8.
    const fs::path accented = dir / "pr\xc3\xbc"
                                    "fstand-\xc3\xa9";
    const fs::path broken = dir / "bad-\x80-\xe2\x82-\xc0\xaf-\xed\xa0\x80-\xff";
    fs::create_symlink(supply.SlavePath(), accented);
    fs::create_symlink(supply.SlavePath(), broken);
    const fs::path output = dir / "ports.json";
    const auto run =
        RunCli({"ports", "--json"}, "COM3=" + accented.string() + ",COM4=" + broken.string());
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::ofstream(output, std::ios::binary) << run.out;

    const std::string script = "import json, sys; reports = json.load(open(sys.argv[1], "
                               "encoding='utf-8')); print(ascii([(r['device'], r['outcome']) "
                               "for r in reports]))";
    const auto parsed =
        RunShell(std::string(kPython) + " -c \"" + script + "\" " + output.string());
    EXPECT_EQ(parsed.exitStatus, 0) << run.out;
    EXPECT_EQ(parsed.output, "[('" + dir.string() + "/pr\\xfcfstand-\\xe9', 'supply'), ('" +
                                 dir.string() +
                                 "/bad-\\ufffd-\\ufffd\\ufffd-\\ufffd\\ufffd-"
                                 "\\ufffd\\ufffd\\ufffd-\\ufffd', 'supply')]\n")
        << run.out;
    fs::remove_all(dir);
}
