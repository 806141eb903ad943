#include "link/win32/usb_details_win32.h"
#include "tests/support/win32/registry_tree_win32.h"

#include <gtest/gtest.h>

using pelmora::FindUsbDetails;

namespace {

// A recorded Enum\USB key: a CDC-ACM device with a serial number, an interface of a composite
// device whose instance id the system made up, and a device that is no serial port.
class RecordedUsbEnum : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string pico = "VID_2E8A&PID_000A\\E66038B7";
        m_tree.SetText(pico, "Mfg", "@mdmcpq.inf,%mfgname%;Raspberry Pi");
        m_tree.SetText(pico, "DeviceDesc", "@mdmcpq.inf,%serialdesc%;USB Serial Device");
        m_tree.SetText(pico + "\\Device Parameters", "PortName", "COM5");
        const std::string adapter = "VID_0403&PID_6015&MI_00\\6&2C4E5B1&0&0000";
        m_tree.SetText(adapter, "Mfg", "FTDI");
        m_tree.SetText(adapter, "DeviceDesc", "USB Serial Converter");
        m_tree.SetText(adapter + "\\Device Parameters", "PortName", "COM12");
        m_tree.SetText("VID_046D&PID_C52B\\5&1A2B3C4D&0&1", "DeviceDesc", "USB Receiver");
    }

    RegistryTree m_tree;
};

} // namespace

TEST_F(RecordedUsbEnum, FindsTheDeviceOfAPortWithItsIdsAndTexts) {
    const auto pico = FindUsbDetails(m_tree.Root(), "COM5");
    ASSERT_TRUE(pico);
    EXPECT_EQ(pico->vendorId, "2e8a");
    EXPECT_EQ(pico->productId, "000a");
    EXPECT_EQ(pico->manufacturer, "Raspberry Pi");
    EXPECT_EQ(pico->product, "USB Serial Device");
    EXPECT_EQ(pico->serial, "E66038B7");
    // Port names are not case-sensitive on Windows.
    EXPECT_TRUE(FindUsbDetails(m_tree.Root(), "com5"));
}

TEST_F(RecordedUsbEnum, AMadeUpInstanceIdIsNoSerialNumber) {
    const auto adapter = FindUsbDetails(m_tree.Root(), "COM12");
    ASSERT_TRUE(adapter);
    EXPECT_EQ(adapter->vendorId, "0403");
    EXPECT_EQ(adapter->productId, "6015");
    EXPECT_EQ(adapter->manufacturer, "FTDI");
    EXPECT_EQ(adapter->serial, "");
}

TEST_F(RecordedUsbEnum, APortOfNoUsbDeviceHasNoDetails) {
    EXPECT_FALSE(FindUsbDetails(m_tree.Root(), "COM1"));
}
