#include "link/posix/ending_signals_posix.h"
#include "sim/simulated_supply.h"
#include "tests/support/spawned_program.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;
using pelmora::sim::SimulatedSupply;
namespace fs = std::filesystem;

namespace {

constexpr const char* kPelmora = PELMORA_EXECUTABLE;
constexpr const char* kDemoScript = PELMORA_DEMO_SCRIPT;
constexpr auto kBound = 30s;
// Display numbers above those that people and scripts/run use.
constexpr int kFirstTestDisplay = 150;

std::string Contents(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Finished {
    int status = -1;
    std::string out;
    std::string err;
};

class ProgramRun : public ::testing::Test {
protected:
    ProgramRun() : m_ports("COM3=" + m_supply.SlavePath().string()) {
        fs::create_directories(m_dir);
    }
    ~ProgramRun() override { fs::remove_all(m_dir); }

    // The panel started with no display at all, as from a plain terminal or a script.
    Finished RunWithoutDisplay(const std::vector<std::string>& arguments) {
        std::vector<std::string> command{kPelmora};
        command.insert(command.end(), arguments.begin(), arguments.end());
        SpawnedProgram program(command,
                               {{"DISPLAY", ""},
                                {"WAYLAND_DISPLAY", ""},
                                {"QT_QPA_PLATFORM", ""},
                                {"PELMORA_PORTS", m_ports}},
                               m_dir / "out", m_dir / "err");
        Finished finished;
        const auto status = program.WaitForEnd(kBound);
        finished.status = status.value_or(-1);
        finished.out = Contents(m_dir / "out");
        finished.err = Contents(m_dir / "err");
        return finished;
    }

    SimulatedSupply m_supply;
    std::string m_ports;
    fs::path m_dir = fs::temp_directory_path() / ("pelmora-app-test-" + std::to_string(::getpid()));
};

// "X" + std::to_string(n) trips a false warning of g++ 12 about overlapping copies.
std::string Numbered(std::string prefix, int number) {
    prefix += std::to_string(number);
    return prefix;
}

bool ExitedWith(int status, int code) {
    return WIFEXITED(status) && WEXITSTATUS(status) == code;
}

// The panel on the test's supply, with nothing to show on. The supply hears the identity request
// and the reset of the start-up sequence once the panel is up.
class ProgramOnSupply : public ProgramRun {
protected:
    static constexpr std::size_t kStartupCommands = 2;

    ProgramOnSupply()
        : m_panel({kPelmora, "-platform", "offscreen"}, {{"PELMORA_PORTS", m_ports}}, m_dir / "out",
                  m_dir / "err") {}

    bool WaitForStartup() { return m_supply.WaitForCommands(kStartupCommands, kBound); }

    // The closing sequence's reset, or the last words' one, after those of the start-up.
    void ExpectResetAfterStartup() {
        ASSERT_TRUE(m_supply.WaitForCommands(kStartupCommands + 1, kBound))
            << "the panel ended without switching the supply off; " << Contents(m_dir / "err");
        const auto log = m_supply.Log();
        EXPECT_EQ(log.size(), kStartupCommands + 1);
        EXPECT_EQ(log.front().bytes, "REQPN\r");
        EXPECT_EQ(log.back().bytes, "RST\r");
    }

    SpawnedProgram m_panel;
};

class ProgramStoppedBySignal : public ProgramOnSupply, public ::testing::WithParamInterface<int> {};

// While it lives, programs started from the test write no core dump.
class WithoutCoreDumps {
public:
    WithoutCoreDumps() {
        ::getrlimit(RLIMIT_CORE, &m_previous);
        const rlimit none{0, m_previous.rlim_max};
        ::setrlimit(RLIMIT_CORE, &none);
    }
    ~WithoutCoreDumps() { ::setrlimit(RLIMIT_CORE, &m_previous); }
    WithoutCoreDumps(const WithoutCoreDumps&) = delete;
    WithoutCoreDumps& operator=(const WithoutCoreDumps&) = delete;

private:
    rlimit m_previous{};
};

// Checked for the signal only: the panel's core is large. The limit comes first, before the
// panel is started.
class ProgramEndedByCoreSignal : private WithoutCoreDumps,
                                 public ProgramOnSupply,
                                 public ::testing::WithParamInterface<int> {};

} // namespace

TEST_P(ProgramStoppedBySignal, RunsTheClosingSequenceAndExitsNormally) {
    ASSERT_TRUE(WaitForStartup()) << Contents(m_dir / "err");
    m_panel.Signal(GetParam());
    const auto status = m_panel.WaitForEnd(kBound);
    ASSERT_TRUE(status) << "the panel did not end";
    EXPECT_TRUE(ExitedWith(*status, 0)) << "wait status " << *status;
    ExpectResetAfterStartup();
}

INSTANTIATE_TEST_SUITE_P(StopSignals, ProgramStoppedBySignal,
                         ::testing::ValuesIn(pelmora::kStopSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });
INSTANTIATE_TEST_SUITE_P(RealTimeSignals, ProgramStoppedBySignal,
                         ::testing::Values(SIGRTMIN, SIGRTMAX),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

TEST_P(ProgramEndedByCoreSignal, SwitchesTheSupplyOffAndStillEndsByTheSignal) {
    ASSERT_TRUE(WaitForStartup()) << Contents(m_dir / "err");
    m_panel.Signal(GetParam());
    const auto status = m_panel.WaitForEnd(kBound);
    ASSERT_TRUE(status) << "the panel did not end";
    ASSERT_TRUE(WIFSIGNALED(*status)) << "wait status " << *status;
    EXPECT_EQ(WTERMSIG(*status), GetParam());
    ExpectResetAfterStartup();
}

INSTANTIATE_TEST_SUITE_P(CoreSignals, ProgramEndedByCoreSignal,
                         ::testing::ValuesIn(pelmora::kCoreSignals),
                         [](const auto& tested) { return pelmora::SignalName(tested.param); });

// Both are pending at once when the panel next runs, and the lower number is taken first: a
// closed pipe that still ended the panel would end it before the request to stop.
TEST_F(ProgramOnSupply, AClosedPipeDoesNotEndThePanel) {
    ASSERT_TRUE(WaitForStartup()) << Contents(m_dir / "err");
    static_assert(SIGPIPE < SIGTERM);
    ASSERT_EQ(::kill(m_panel.Pid(), SIGSTOP), 0);
    m_panel.Signal(SIGPIPE);
    m_panel.Signal(SIGTERM);
    ASSERT_EQ(::kill(m_panel.Pid(), SIGCONT), 0);
    const auto status = m_panel.WaitForEnd(kBound);
    ASSERT_TRUE(status) << "the panel did not end";
    EXPECT_TRUE(ExitedWith(*status, 0)) << "wait status " << *status;
    ExpectResetAfterStartup();
}

TEST_F(ProgramRun, HelpAndVersionNeedNoDisplayAndTouchNoPort) {
    const auto help = RunWithoutDisplay({"--help"});
    EXPECT_TRUE(ExitedWith(help.status, 0)) << help.err;
    EXPECT_TRUE(help.out.starts_with("Usage: Pelmora [options] [--demo [-- SIM-OPTIONS...]]\n"))
        << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    EXPECT_NE(help.out.find("--lang"), std::string::npos);
    EXPECT_EQ(help.err, "");

    const auto version = RunWithoutDisplay({"--version"});
    EXPECT_TRUE(ExitedWith(version.status, 0)) << version.err;
    EXPECT_EQ(version.out, "Pelmora 1.0.0.1\n");

    // Qt's own options are Qt's to take.
    const auto withQtOption = RunWithoutDisplay({"-platform", "offscreen", "--version"});
    EXPECT_TRUE(ExitedWith(withQtOption.status, 0)) << withQtOption.err;
    EXPECT_EQ(withQtOption.out, "Pelmora 1.0.0.1\n");

    EXPECT_TRUE(m_supply.Log().empty());
}

TEST_F(ProgramRun, AnUnknownOptionIsAUsageError) {
    const auto language = RunWithoutDisplay({"--lang", "fr"});
    EXPECT_TRUE(ExitedWith(language.status, 2));
    EXPECT_NE(language.err.find("Unknown language 'fr'"), std::string::npos) << language.err;
    // -v is pelmora-cli's --verbose, so it is no --version here.
    for (const std::string argument : {"--bogus", "stray", "-v"}) {
        const auto refused = RunWithoutDisplay({argument});
        EXPECT_TRUE(ExitedWith(refused.status, 2)) << argument;
        EXPECT_EQ(refused.out, "") << argument;
        EXPECT_NE(refused.err.find("Usage: Pelmora [options]"), std::string::npos) << argument;
    }
    EXPECT_NE(RunWithoutDisplay({"--bogus"}).err.find("Unknown option 'bogus'"), std::string::npos);
    EXPECT_TRUE(m_supply.Log().empty());
}

TEST_F(ProgramRun, AHugeArgumentIsQuotedBackCutAndAnEmptyLanguageRefused) {
    const std::string usage = RunWithoutDisplay({"--help"}).out;
    const std::string huge(100000, 'x');
    for (const std::string& argument : {huge, "--" + huge, "--lang=" + huge}) {
        const auto refused = RunWithoutDisplay({argument});
        EXPECT_TRUE(ExitedWith(refused.status, 2));
        const std::string firstLine = refused.err.substr(0, refused.err.find('\n'));
        EXPECT_LT(firstLine.size(), 200u) << firstLine.substr(0, 200);
        EXPECT_NE(firstLine.find("xxx... (100"), std::string::npos) << firstLine.substr(0, 200);
        // The usage that follows, and nothing more.
        EXPECT_LE(refused.err.size(), firstLine.size() + 1 + usage.size());
    }
    const auto empty = RunWithoutDisplay({"--lang", ""});
    EXPECT_TRUE(ExitedWith(empty.status, 2));
    EXPECT_NE(empty.err.find("Unknown language ''"), std::string::npos) << empty.err;
    EXPECT_TRUE(m_supply.Log().empty());
}

TEST_F(ProgramRun, TheDemoRunsItsOwnSupplyWhichEndsWithThePanelHoweverItEnds) {
    const fs::path log = m_dir / "demo.log";
    // The user's own instrument stays untouched: the demo lists only its simulated supply.
    SpawnedProgram panel(
        {kPelmora, "--demo", "-platform", "offscreen", "--", "--log", log.string()},
        {{"PELMORA_PORTS", m_ports}}, m_dir / "out", m_dir / "err");
    for (auto waited = 0ms; Contents(log).find("RST") == std::string::npos && waited < kBound;
         waited += 20ms) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_NE(Contents(log).find("REQPN\\r"), std::string::npos) << Contents(m_dir / "err");
    EXPECT_NE(Contents(log).find("RST\\r"), std::string::npos);
    const std::string children = Contents(fs::path("/proc") / std::to_string(panel.Pid()) / "task" /
                                          std::to_string(panel.Pid()) / "children");
    ASSERT_FALSE(children.empty()) << "the demo runs no simulated supply";
    const fs::path sim = fs::path("/proc") / children.substr(0, children.find(' '));

    panel.Signal(SIGKILL);
    ASSERT_TRUE(panel.WaitForEnd(kBound));
    // Gone, or ended and waiting to be collected by whoever adopted it.
    const auto ended = [&] {
        const std::string stat = Contents(sim / "stat");
        return stat.empty() || stat.find(") Z") != std::string::npos;
    };
    for (auto waited = 0ms; !ended() && waited < kBound; waited += 20ms) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(ended()) << "the simulated supply outlived the panel";
    EXPECT_TRUE(m_supply.Log().empty());
}

TEST_F(ProgramRun, ADemoSupplyThatCannotStartIsReportedInItsOwnWords) {
    // The panel's own option, handed to the simulated supply.
    const auto refused = RunWithoutDisplay({"--demo", "--", "--lang", "en"});
    EXPECT_TRUE(ExitedWith(refused.status, 1)) << refused.err;
    EXPECT_TRUE(
        refused.err.starts_with("Pelmora: the simulated supply did not start: pelmora-sim: "))
        << refused.err;
    EXPECT_NE(refused.err.find("--lang"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find("installed"), std::string::npos) << refused.err;

    // No pelmora-sim beside the panel nor on the PATH.
    const fs::path alone = m_dir / "alone";
    fs::create_directories(alone);
    fs::copy_file(kPelmora, alone / "Pelmora");
    SpawnedProgram panel({(alone / "Pelmora").string(), "--demo"},
                         {{"PATH", alone.string()}, {"PELMORA_PORTS", m_ports}}, m_dir / "out",
                         m_dir / "err");
    const auto status = panel.WaitForEnd(kBound);
    ASSERT_TRUE(status);
    EXPECT_TRUE(ExitedWith(*status, 1)) << Contents(m_dir / "err");
    EXPECT_EQ(Contents(m_dir / "err"), "Pelmora: cannot run pelmora-sim: No such file or directory "
                                       "(is pelmora-sim installed?)\n");
    EXPECT_TRUE(m_supply.Log().empty());
}

// As scripts/run starts it: the panel takes the options before "--", the simulated supply
// those after it.
TEST_F(ProgramRun, TheDemoScriptHandsEachProgramItsOwnOptions) {
    const fs::path log = m_dir / "demo.log";
    // A display named, so that the script starts none: the panel draws offscreen.
    SpawnedProgram demo({"bash", kDemoScript, kPelmora, log.string(), "--lang", "en", "-platform",
                         "offscreen", "--", "--name", "COM7"},
                        {{"DISPLAY", ":unused"}, {"PELMORA_PORTS", m_ports}}, m_dir / "out",
                        m_dir / "err");
    for (auto waited = 0ms; Contents(log).find("RST") == std::string::npos && waited < kBound;
         waited += 20ms) {
        if (demo.WaitForEnd(20ms)) {
            break;
        }
    }
    EXPECT_NE(Contents(log).find("REQPN\\r"), std::string::npos) << Contents(m_dir / "err");
    EXPECT_NE(Contents(log).find("RST\\r"), std::string::npos);
    EXPECT_TRUE(m_supply.Log().empty());
}

TEST_F(ProgramRun, TheDisplayDyingStillSwitchesTheSupplyOff) {
    const auto xvfb = FindProgram("Xvfb");
    if (!xvfb) {
        GTEST_SKIP() << "no Xvfb to run the panel on (scripts/bootstrap installs it)";
    }
    int number = kFirstTestDisplay;
    while (fs::exists(fs::path("/tmp/.X11-unix") / Numbered("X", number)) ||
           fs::exists(fs::path("/tmp") / (Numbered(".X", number) + "-lock"))) {
        ++number;
    }
    const std::string display = Numbered(":", number);
    SpawnedProgram server({*xvfb, display, "-nolisten", "tcp", "-screen", "0", "640x480x24"}, {},
                          m_dir / "xvfb.out", m_dir / "xvfb.err");
    const auto socket = fs::path("/tmp/.X11-unix") / Numbered("X", number);
    for (auto waited = 0ms; !fs::exists(socket) && waited < kBound; waited += 10ms) {
        std::this_thread::sleep_for(10ms);
    }
    ASSERT_TRUE(fs::exists(socket)) << Contents(m_dir / "xvfb.err");

    SpawnedProgram panel(
        {kPelmora}, {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}, {"PELMORA_PORTS", m_ports}},
        m_dir / "out", m_dir / "err");
    ASSERT_TRUE(m_supply.WaitForCommands(2, kBound)) << Contents(m_dir / "err");
    std::this_thread::sleep_for(500ms);
    ASSERT_FALSE(panel.WaitForEnd(0ms)) << "the panel ended on its own";

    server.Signal(SIGKILL);
    server.WaitForEnd(kBound);
    // A server killed outright leaves its lock and socket behind.
    fs::remove(fs::path("/tmp") / (Numbered(".X", number) + "-lock"));
    fs::remove(socket);
    const auto status = panel.WaitForEnd(kBound);
    ASSERT_TRUE(status) << "the panel outlived its display";
    EXPECT_FALSE(ExitedWith(*status, 0));
    ASSERT_TRUE(m_supply.WaitForCommands(3, kBound));
    const auto log = m_supply.Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].bytes, "REQPN\r");
    EXPECT_EQ(log[1].bytes, "RST\r");
    EXPECT_EQ(log[2].bytes, "RST\r");
}
