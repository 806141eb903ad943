#include "link/port_watch.h"
#include "link/win32/port_list_win32.h"
#include "tests/support/win32/registry_tree_win32.h"
#include "tests/support/win32/simulated_port_win32.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora;

namespace {

std::vector<std::string> Listed(const std::vector<SerialPortEntry>& entries) {
    std::vector<std::string> seen;
    for (const auto& entry : entries) {
        seen.push_back(entry.name + "=" + entry.devicePath.string());
    }
    return seen;
}

} // namespace

TEST(PortListKey, ListsEveryTextValueInTheOrderOfItsNumber) {
    RegistryTree key;
    key.SetText("", "\\Device\\Serial11", "COM12");
    key.SetText("", "\\Device\\USBSER000", "COM3");
    key.SetNumber("", "\\Device\\Odd", 5);
    key.SetText("", "\\Device\\Twice", "COMCOM7");
    key.SetText("", "\\Device\\Blank", "");
    const std::vector<std::string> expected = {
        "=\\\\.\\",
        "COM3=\\\\.\\COM3",
        "COMCOM7=\\\\.\\COMCOM7",
        "COM12=\\\\.\\COM12",
    };
    EXPECT_EQ(Listed(ReadPortListKey(key.Root())), expected);
}

TEST(PortListKey, EmptyKeyListsNothing) {
    RegistryTree key;
    EXPECT_TRUE(ReadPortListKey(key.Root()).empty());
}

TEST(SystemPortList, HoldsThePortsTheSystemMapsWithPathsThatOpenThem) {
    const SimulatedPort supply("SUPPLY");
    const SimulatedPort padded("LONG");
    const auto listed = Listed(SystemSerialPorts());
    for (const auto* port : {&supply, &padded}) {
        const std::string entry = port->Name() + "=" + port->DevicePath().string();
        EXPECT_NE(std::find(listed.begin(), listed.end(), entry), listed.end()) << entry;
    }
}

TEST(DeviceIdentity, EachMappedPortHasItsOwnAndAnAbsentOneNone) {
    const SimulatedPort supply("SUPPLY");
    const SimulatedPort padded("LONG");
    const auto first = DeviceIdentity(supply.DevicePath());
    const auto second = DeviceIdentity(padded.DevicePath());
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    EXPECT_EQ(DeviceIdentity(supply.Name()), first) << "a bare name leads to the same device";
    EXPECT_FALSE(DeviceIdentity("\\\\.\\COM97"));
    EXPECT_FALSE(StableDeviceName(supply.DevicePath()));
}

TEST(DevicePaths, NameADeviceByItselfOrSomethingElse) {
    EXPECT_EQ(PortNameOfDevice("\\\\.\\COM5"), "COM5");
    EXPECT_EQ(PortNameOfDevice("\\\\?\\COM12"), "COM12");
    EXPECT_EQ(PortNameOfDevice("COM3"), "COM3");
    EXPECT_TRUE(NamesADevice("\\\\.\\COM5"));
    EXPECT_TRUE(NamesADevice("COM3"));
    EXPECT_FALSE(NamesADevice("\\\\.\\pipe\\supply"));
    EXPECT_FALSE(NamesADevice("C:\\ports\\COM5"));
    EXPECT_FALSE(NamesADevice("Z:/dev/ttyACM0"));
    EXPECT_FALSE(NamesADevice("\\\\.\\"));
}
