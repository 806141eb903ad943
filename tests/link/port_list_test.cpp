#include "link/port_list.h"
#include "tests/support/listed_ports.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace pelmora;
namespace fs = std::filesystem;

TEST(PortNumber, RemovesEveryComThenReadsTheNumber) {
    EXPECT_EQ(PortNumberOf("COM3"), 3);
    EXPECT_EQ(PortNumberOf("COM12"), 12);
    EXPECT_EQ(PortNumberOf("COMCOM3"), 3);
    EXPECT_EQ(PortNumberOf("CCOMOM7"), 0); // only whole "COM"s go: "COM7" is left, then read
    EXPECT_EQ(PortNumberOf("com3"), 0);
    EXPECT_EQ(PortNumberOf("COMx"), 0);
    EXPECT_EQ(PortNumberOf(" COM 42"), 42);
}

TEST(PortsVariable, ListsNamedDevicesAndSkipsMalformedEntries) {
    const auto entries = ParsePortsVariable("COM1=/dev/ttyUSB0,junk,COM12=/dev/pts/4,COM5=,=x");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "COM1");
    EXPECT_EQ(entries[0].devicePath, "/dev/ttyUSB0");
    EXPECT_EQ(entries[1].name, "COM12");
    EXPECT_EQ(entries[1].devicePath, "/dev/pts/4");
    EXPECT_EQ(entries[2].name, "");
    EXPECT_TRUE(ParsePortsVariable("").empty());
}

TEST(PortsVariable, ReplacesTheScanAndResolvesNumbers) {
    ListedPorts listed("COM4=/dev/first,COM7=/dev/second,COMCOM4=/dev/third");
    EXPECT_EQ(ListSerialPorts().size(), 3u);
    EXPECT_EQ(FindPortDevice(4), fs::path("/dev/first"));
    EXPECT_EQ(FindPortDevice(7), fs::path("/dev/second"));
    EXPECT_FALSE(FindPortDevice(0));
    EXPECT_FALSE(FindPortDevice(5));
}

TEST(PortsVariable, SetWithoutAUsableEntryIsMalformedNotEmpty) {
    std::vector<std::string> values = {",,,", "=", "COM3=", "COM3", "COM3=,junk"};
#ifndef _WIN32
    // Windows has no variable set to nothing: giving one an empty value removes it.
    values.push_back("");
#endif
    for (const std::string& value : values) {
        ListedPorts listed(value);
        EXPECT_TRUE(ListSerialPorts().empty()) << value;
        EXPECT_EQ(MalformedPortsVariable(), value);
    }
    {
        ListedPorts listed("junk,COM3=/dev/ttyACM0");
        EXPECT_FALSE(MalformedPortsVariable());
    }
    EXPECT_FALSE(MalformedPortsVariable());

    const std::string description = DescribeMalformedPortsVariable(std::string(500, ','));
    EXPECT_TRUE(description.starts_with("PELMORA_PORTS is malformed: ',,,")) << description;
    EXPECT_NE(description.find("(500 bytes)"), std::string::npos) << description;
    EXPECT_NE(description.find("NAME=PATH[,NAME=PATH]..., e.g. COM3=/dev/ttyACM0"),
              std::string::npos);
}
