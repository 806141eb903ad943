#include "link/posix/port_list_posix.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelmora;
namespace fs = std::filesystem;

// A recorded /sys/class/tty: virtual terminals, UART slots with and without a chip, USB
// adapters and CDC-ACM devices.
class RecordedTtyTree : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("pelmora-tty-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        AddVirtual("tty0");
        AddVirtual("console");
        AddVirtual("ptmx");
        AddDevice("ttyS0", "4"); // a 16550A
        AddDevice("ttyS1", "0"); // a slot with nothing behind it
        AddDevice("ttyS2", "0");
        AddDevice("ttyS10", "4");
        AddDevice("ttyUSB0", nullptr);
        AddDevice("ttyACM1", nullptr);
        AddDevice("ttyACM0", nullptr);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void AddVirtual(const std::string& name) { fs::create_directories(m_root / name); }
    void AddDevice(const std::string& name, const char* uartType) {
        fs::create_directories(m_root / name);
        // The link's target need not exist in a recording.
        fs::create_directory_symlink("../../devices/recorded/" + name, m_root / name / "device");
        if (uartType) {
            std::ofstream(m_root / name / "type") << uartType << "\n";
        }
    }

    fs::path m_root;
};

TEST_F(RecordedTtyTree, KeepsRealDevicesInKernelNameOrder) {
    const auto entries = ScanSerialDevices(m_root, "/dev");
    std::vector<std::string> seen;
    for (const auto& entry : entries) {
        seen.push_back(entry.name + "=" + entry.devicePath.string());
    }
    const std::vector<std::string> expected = {
        "COM1=/dev/ttyACM0", "COM2=/dev/ttyACM1", "COM3=/dev/ttyS0",
        "COM4=/dev/ttyS10",  "COM5=/dev/ttyUSB0",
    };
    EXPECT_EQ(seen, expected);
}

TEST_F(RecordedTtyTree, SameDevicesGetTheSameNumbers) {
    const auto first = ScanSerialDevices(m_root, "/dev");
    fs::remove_all(m_root / "ttyS0");
    AddDevice("ttyS0", "4");
    const auto second = ScanSerialDevices(m_root, "/dev");
    ASSERT_EQ(first.size(), second.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].name, second[i].name);
        EXPECT_EQ(first[i].devicePath, second[i].devicePath);
    }
}

TEST(PortScan, MissingTreeListsNothing) {
    EXPECT_TRUE(ScanSerialDevices("/nonexistent/class/tty", "/dev").empty());
}
