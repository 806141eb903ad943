#include "link/posix/raw_modes_posix.h"

#include <gtest/gtest.h>
#include <utility>
#include <vector>

using pelmora::RawChannelModes;

namespace {

using NamedFlag = std::pair<const char*, tcflag_t>;

// A port left with every mode on: whatever the port reports, the result is the same raw set.
termios EverythingOn() {
    termios modes{};
    modes.c_iflag = ~tcflag_t{0};
    modes.c_oflag = ~tcflag_t{0};
    modes.c_lflag = ~tcflag_t{0};
    modes.c_cflag = ~tcflag_t{0};
    modes.c_cc[VMIN] = 1;
    modes.c_cc[VTIME] = 5;
    return modes;
}

} // namespace

TEST(RawChannelModes, ClearsEveryFlagThatCouldStopOrRewriteBytes) {
    const termios raw = RawChannelModes(EverythingOn(), B921600);
    const std::vector<NamedFlag> input = {
        {"IXON", IXON},   {"IXOFF", IXOFF},     {"IXANY", IXANY},   {"ICRNL", ICRNL},
        {"INLCR", INLCR}, {"IGNCR", IGNCR},     {"ISTRIP", ISTRIP}, {"PARMRK", PARMRK},
        {"INPCK", INPCK}, {"BRKINT", BRKINT},   {"IGNBRK", IGNBRK}, {"IGNPAR", IGNPAR},
        {"IUCLC", IUCLC}, {"IMAXBEL", IMAXBEL}, {"IUTF8", IUTF8}};
    for (const auto& [name, flag] : input) {
        EXPECT_EQ(raw.c_iflag & flag, 0u) << name;
    }
    for (const auto& [name, flag] : std::vector<NamedFlag>{
             {"OPOST", OPOST}, {"ONLCR", ONLCR}, {"OCRNL", OCRNL}, {"OLCUC", OLCUC}}) {
        EXPECT_EQ(raw.c_oflag & flag, 0u) << name;
    }
    for (const auto& [name, flag] : std::vector<NamedFlag>{{"ICANON", ICANON},
                                                           {"ECHO", ECHO},
                                                           {"ECHONL", ECHONL},
                                                           {"ISIG", ISIG},
                                                           {"IEXTEN", IEXTEN}}) {
        EXPECT_EQ(raw.c_lflag & flag, 0u) << name;
    }
    // Whole fields too, so that a flag not named above cannot slip through.
    EXPECT_EQ(raw.c_iflag, 0u);
    EXPECT_EQ(raw.c_oflag, 0u);
    EXPECT_EQ(raw.c_lflag, 0u);
    EXPECT_EQ(raw.c_cc[VMIN], 0);
    EXPECT_EQ(raw.c_cc[VTIME], 0);
}

TEST(RawChannelModes, KeepsTheDevicesLineSettingsAndNothingElseOfTheControlFlags) {
    const termios raw = RawChannelModes(EverythingOn(), B921600);
    for (const auto& [name, flag] : std::vector<NamedFlag>{{"PARENB", PARENB},
                                                           {"PARODD", PARODD},
                                                           {"CMSPAR", CMSPAR},
                                                           {"CSTOPB", CSTOPB},
                                                           {"CRTSCTS", CRTSCTS},
                                                           {"CREAD", CREAD},
                                                           {"CLOCAL", CLOCAL}}) {
        EXPECT_EQ(raw.c_cflag & flag, flag) << name;
    }
    EXPECT_EQ(raw.c_cflag & CSIZE, CS8);
    EXPECT_EQ(raw.c_cflag & HUPCL, 0u);

    // One kept flag at a time: each one comes from the port, not from the function.
    for (const auto& [name, flag] : std::vector<NamedFlag>{{"PARENB", PARENB},
                                                           {"PARODD", PARODD},
                                                           {"CMSPAR", CMSPAR},
                                                           {"CSTOPB", CSTOPB},
                                                           {"CRTSCTS", CRTSCTS}}) {
        termios reported{};
        reported.c_cflag = CS5 | flag;
        const termios one = RawChannelModes(reported, B9600);
        EXPECT_EQ(one.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS), flag) << name;
        EXPECT_EQ(one.c_cflag & CSIZE, CS8) << name;
        EXPECT_EQ(one.c_cflag & (CREAD | CLOCAL), CREAD | CLOCAL) << name;
    }
}

TEST(RawChannelModes, SetsTheSpeedBothWays) {
    termios reported{};
    cfsetispeed(&reported, B9600);
    cfsetospeed(&reported, B9600);
    const termios raw = RawChannelModes(reported, B921600);
    EXPECT_EQ(cfgetispeed(&raw), B921600);
    EXPECT_EQ(cfgetospeed(&raw), B921600);
    EXPECT_EQ(pelmora::TermiosSpeed(921600), B921600);
    EXPECT_EQ(pelmora::TermiosSpeed(12345), std::nullopt);
}
