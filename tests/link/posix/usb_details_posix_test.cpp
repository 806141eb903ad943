#include "link/posix/usb_details_posix.h"
#include "tests/support/recorded_sysfs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// A recorded /sys: class/tty entries whose "device" links lead into devices/, where a CDC-ACM
// port sits on an interface of its USB device, a USB serial adapter one level deeper, and a
// UART on the platform bus with no USB device above it.
class RecordedSysTree : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("pelmora-sys-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        const fs::path usb = m_root / "devices/pci0000:00/0000:00:14.0/usb1";
        RecordUsbDevice(usb / "1-2", "2e8a", "000a", "Raspberry Pi", "Pico", "E66038B7");
        RecordTtyEntry(TtyClass(), "ttyACM0", usb / "1-2/1-2:1.0");
        RecordUsbDevice(usb / "1-3", "0403", "6001", "FTDI", "FT232R USB UART", "");
        RecordTtyEntry(TtyClass(), "ttyUSB0", usb / "1-3/1-3:1.0/ttyUSB0");
        RecordTtyEntry(TtyClass(), "ttyS0", m_root / "devices/platform/serial8250");
    }
    void TearDown() override { fs::remove_all(m_root); }
    fs::path TtyClass() const { return m_root / "class/tty"; }

    fs::path m_root;
};

} // namespace

TEST_F(RecordedSysTree, FindsTheUsbDeviceAboveEachKindOfPort) {
    const auto acm = ReadUsbDetails(TtyClass(), "/dev/ttyACM0");
    ASSERT_TRUE(acm);
    EXPECT_EQ(acm->vendorId, "2e8a");
    EXPECT_EQ(acm->productId, "000a");
    EXPECT_EQ(acm->manufacturer, "Raspberry Pi");
    EXPECT_EQ(acm->product, "Pico");
    EXPECT_EQ(acm->serial, "E66038B7");

    const auto adapter = ReadUsbDetails(TtyClass(), "/dev/ttyUSB0");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->vendorId, "0403");
    EXPECT_EQ(adapter->product, "FT232R USB UART");
    EXPECT_EQ(adapter->serial, "");

    EXPECT_FALSE(ReadUsbDetails(TtyClass(), "/dev/ttyS0"));
    EXPECT_FALSE(ReadUsbDetails(TtyClass(), "/dev/pts/4"));
}

TEST_F(RecordedSysTree, FollowsALinkToTheKernelsName) {
    // As /dev/serial/by-id/usb-Raspberry_Pi_Pico_E66038B7-if00 leads to ttyACM0.
    const fs::path devices = m_root / "dev";
    fs::create_directories(devices);
    std::ofstream(devices / "ttyACM0").put('\n');
    fs::create_symlink(devices / "ttyACM0", devices / "usb-Raspberry_Pi_Pico-if00");
    const auto details = ReadUsbDetails(TtyClass(), devices / "usb-Raspberry_Pi_Pico-if00");
    ASSERT_TRUE(details);
    EXPECT_EQ(details->product, "Pico");
}
