#include "cli/port_survey.h"
#include "link/posix/port_list_posix.h"
#include "link/posix/usb_details_posix.h"
#include "link/serial_channel.h"
#include "sim/simulated_supply.h"
#include "tests/support/other_user.h"
#include "tests/support/pty_peer.h"
#include "tests/support/recorded_sysfs.h"

#include <array>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelmora::cli {
namespace {

namespace fs = std::filesystem;
using sim::SimConfig;
using sim::SimulatedSupply;

// Far beyond what the simulated supplies take, so that a loaded machine does not fail the survey.
constexpr int kWaitMs = 500;

// A machine recorded as a sysfs tree, whose device nodes lead to pseudo-terminals: the supply
// on a USB CDC-ACM port, another device on a USB serial adapter, a silent UART, a port held by
// another process, an unplugged adapter and a node that is no terminal.
class RecordedMachine : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("pelmora-machine-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(DeviceDir());
        const fs::path usb = m_root / "sys/devices/pci0000:00/0000:00:14.0/usb1";
        RecordUsbDevice(usb / "1-2", "2e8a", "000a", "Raspberry Pi", "Pico", "E66038B7");
        AddPort("ttyACM0", usb / "1-2/1-2:1.0", m_supply.SlavePath());
        RecordUsbDevice(usb / "1-3", "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI");
        AddPort("ttyUSB0", usb / "1-3/1-3:1.0/ttyUSB0", m_stranger.SlavePath());
        AddPort("ttyS0", m_root / "sys/devices/platform/serial8250/tty/ttyS0",
                m_silent.DevicePath());
        AddPort("ttyS1", m_root / "sys/devices/platform/serial8250/tty/ttyS1", m_held.DevicePath());
        AddPort("ttyUSB1", usb / "1-4/1-4:1.0/ttyUSB1", m_root / "unplugged");
        const fs::path plainFile = m_root / "plain-file";
        std::ofstream(plainFile) << "not a device\n";
        AddPort("ttyS2", m_root / "sys/devices/platform/serial8250/tty/ttyS2", plainFile);
    }
    void TearDown() override { fs::remove_all(m_root); }

    static SimConfig Stranger() {
        SimConfig config;
        config.identitySuffix = "01";
        return config;
    }
    fs::path TtyClass() const { return m_root / "sys/class/tty"; }
    fs::path DeviceDir() const { return m_root / "dev"; }

    void AddPort(const std::string& name, const fs::path& device, const fs::path& node) {
        RecordTtyEntry(TtyClass(), name, device);
        fs::create_symlink(node, DeviceDir() / name);
    }

    std::vector<PortReport> Survey() {
        ByteTrace quiet(std::cerr, false);
        return SurveyPorts(
            ScanSerialDevices(TtyClass(), DeviceDir()), kWaitMs, quiet,
            [this](const fs::path& device) { return ReadUsbDetails(TtyClass(), device); });
    }

    fs::path m_root;
    SimulatedSupply m_supply;
    SimulatedSupply m_stranger{Stranger()};
    PseudoTerminal m_silent;
    PseudoTerminal m_held;
};

// Holds a device in a process of its own, as another program would, until it is destroyed. The
// child makes only system calls: the simulators' threads run in the process it is forked from.
class HoldingProcess {
public:
    explicit HoldingProcess(const fs::path& device) {
        std::array<int, 2> ready{};
        std::array<int, 2> release{};
        if (::pipe(ready.data()) != 0 || ::pipe(release.data()) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char opened = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 1 : 0;
            [[maybe_unused]] auto written = ::write(ready[1], &opened, 1);
            char byte = 0;
            [[maybe_unused]] auto got = ::read(release[0], &byte, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        m_release = release[1];
        char opened = 0;
        m_holding = ::read(ready[0], &opened, 1) == 1 && opened == 1;
        ::close(ready[0]);
    }
    ~HoldingProcess() {
        ::close(m_release);
        if (m_pid > 0) {
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    bool Holding() const { return m_holding; }
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_holding = false;
};

std::string Lines(const std::vector<PortReport>& reports) {
    std::string lines;
    for (const auto& report : reports) {
        lines += FormatReportLine(report) + "\n";
    }
    return lines;
}

std::string ProcessName(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

} // namespace

TEST_F(RecordedMachine, EveryPortGetsItsOutcomeAndItsUsbDetails) {
    const HoldingProcess holder(m_held.DevicePath());
    ASSERT_TRUE(holder.Holding());
    const auto reports = Survey();
    const std::string dev = DeviceDir().string();
    const std::string expected =
        "COM1  " + dev +
        "/ttyACM0  usb 2e8a:000a \"Raspberry Pi\" \"Pico\" serial \"E66038B7\"  supply\n" +
        "COM2  " + dev + "/ttyS0  no answer\n" + "COM3  " + dev + "/ttyS1  busy: held by PID " +
        std::to_string(holder.Pid()) + " (" + ProcessName(holder.Pid()) + ")\n" + "COM4  " + dev +
        "/ttyS2  not a terminal (not a character device; left unopened)\n" + "COM5  " + dev +
        "/ttyUSB0  usb 0403:6001 \"FTDI\" \"FT232R USB UART\" serial \"A50285BI\"  other device: "
        "answered 'ACKPNDRELVOV01\\r'\n" +
        "COM6  " + dev + "/ttyUSB1  missing\n";
    EXPECT_EQ(Lines(reports), expected);
    EXPECT_EQ(SurveyExitStatus(reports), 0);

    // Asked who they are, and left closed; the held port was never written to.
    ASSERT_TRUE(m_supply.WaitForCommands(1, std::chrono::seconds(5)));
    EXPECT_EQ(m_supply.Log().size(), 1u);
    EXPECT_EQ(m_silent.Receive(), "REQPN\r");
    EXPECT_EQ(m_held.Receive(100), "");
    CSerialChannel after;
    EXPECT_TRUE(after.OpenDevice(m_supply.SlavePath(), protocol::kBaudRate));
}

TEST_F(RecordedMachine, JsonCarriesTheSameFacts) {
    const HoldingProcess holder(m_held.DevicePath());
    ASSERT_TRUE(holder.Holding());
    const std::string json = FormatReportsJson(Survey());
    const std::string dev = DeviceDir().string();
    for (const std::string& part : std::vector<std::string>{
             "[{\"name\":\"COM1\",\"device\":\"" + dev +
                 "/ttyACM0\",\"usb\":{\"vendor_id\":\"2e8a\","
                 "\"product_id\":\"000a\",\"manufacturer\":\"Raspberry Pi\",\"product\":\"Pico\","
                 "\"serial\":\"E66038B7\"},\"outcome\":\"supply\",\"detail\":\"supply\","
                 "\"reply\":\"ACKPNDRELVOV99\\u000d\"}",
             "{\"name\":\"COM2\",\"device\":\"" + dev +
                 "/ttyS0\",\"usb\":null,\"outcome\":\"no answer\"",
             "\"outcome\":\"busy\",\"detail\":\"busy: held by PID " + std::to_string(holder.Pid()),
             "\"holder\":{\"pid\":" + std::to_string(holder.Pid()) + ",\"name\":",
             "\"outcome\":\"not a terminal\"",
             "\"outcome\":\"other device\",\"detail\":\"other device: answered "
             "'ACKPNDRELVOV01\\\\r'\","
             "\"reply\":\"ACKPNDRELVOV01\\u000d\"}",
             "\"outcome\":\"missing\",\"detail\":\"missing\"}]"}) {
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n in \n" << json;
    }
}

TEST(PortSurvey, WithoutASupplyARefusedPortMakesItAnAccessError) {
    PseudoTerminal silent;
    PseudoTerminal held;
    CSerialChannel holder;
    ASSERT_TRUE(holder.OpenDevice(held.DevicePath(), protocol::kBaudRate));
    ByteTrace quiet(std::cerr, false);
    const auto noUsb = [](const fs::path&) { return std::optional<UsbDetails>(); };
    const std::vector<SerialPortEntry> both = {{"COM1", silent.DevicePath()},
                                               {"COM2", held.DevicePath()}};
    EXPECT_EQ(SurveyExitStatus(SurveyPorts(both, kWaitMs, quiet, noUsb)), 3);
    const std::vector<SerialPortEntry> quietOnly = {{"COM1", silent.DevicePath()}};
    EXPECT_EQ(SurveyExitStatus(SurveyPorts(quietOnly, kWaitMs, quiet, noUsb)), 1);
}

TEST(PortSurvey, UnreadablePortNamesTheGroupAndTheFix) {
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
        ByteTrace quiet(std::cerr, false);
        const auto reports =
            SurveyPorts({{"COM7", device.DevicePath()}}, kWaitMs, quiet,
                        [](const fs::path&) { return std::optional<UsbDetails>(); });
        report = FormatReportLine(reports.front()) + "\n" + FormatReportsJson(reports);
        return SurveyExitStatus(reports);
    });
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_TRUE(result.report.starts_with("COM7  " + device.DevicePath().string() +
                                          "  permission denied: the device belongs to group " +
                                          group + "; run 'sudo usermod -aG " + group +
                                          " $USER', then log in again\n"))
        << result.report;
    EXPECT_NE(result.report.find("\"group\":\"" + group + "\",\"fix\":\"sudo usermod -aG " + group +
                                 " $USER\""),
              std::string::npos)
        << result.report;
    EXPECT_EQ(device.Receive(100), "");
}

} // namespace pelmora::cli
