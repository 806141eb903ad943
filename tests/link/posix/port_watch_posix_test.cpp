#include "link/port_watch.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// A listed path that leads to whichever device is put behind it, as a stable name does.
class LinkedPath {
public:
    LinkedPath()
        : m_path(fs::temp_directory_path() / ("pelmora-watch-" + std::to_string(::getpid()) + "-" +
                                              std::to_string(++s_count))) {}
    ~LinkedPath() { fs::remove(m_path); }
    void PointAt(const fs::path& device) {
        Clear();
        fs::create_symlink(device, m_path);
    }
    // Leads nowhere, as a name does once its device is unplugged.
    void Clear() { fs::remove(m_path); }
    const fs::path& Path() const { return m_path; }

private:
    static inline int s_count = 0;
    fs::path m_path;
};

std::vector<std::string> Names(const std::vector<SerialPortEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

} // namespace

TEST(PortWatch, ReportsOnlyDevicesThatAppearSinceTheLastLook) {
    // Every listed name leads to a terminal this test holds open, or to nothing: a terminal
    // number it gives up can be taken at once by another process, tests running beside it
    // included, and would then be a device the test did not make.
    auto present = std::make_unique<PseudoTerminal>();
    LinkedPath presentName;
    LinkedPath presentAlias;
    presentName.PointAt(present->DevicePath());
    presentAlias.PointAt(present->DevicePath());
    LinkedPath later;
    const std::vector<SerialPortEntry> listed = {{"COM1", presentName.Path()},
                                                 {"COM2", later.Path()},
                                                 {"COM3", "/nonexistent/ttyACM7"},
                                                 {"COM4", presentAlias.Path()}};
    PortWatch watch;
    watch.Start(listed);
    EXPECT_TRUE(watch.Look(listed).empty()) << "what was there at the start is not new";

    PseudoTerminal first;
    later.PointAt(first.DevicePath());
    EXPECT_EQ(Names(watch.Look(listed)), std::vector<std::string>{"COM2"});
    EXPECT_TRUE(watch.Look(listed).empty()) << "a device that stays is reported once";

    // Another device behind the same name is new, and so is one that went and came back.
    PseudoTerminal second;
    later.PointAt(second.DevicePath());
    EXPECT_EQ(Names(watch.Look(listed)), std::vector<std::string>{"COM2"});
    presentName.Clear();
    presentAlias.Clear();
    present.reset();
    EXPECT_TRUE(watch.Look(listed).empty());
    PseudoTerminal back;
    presentName.PointAt(back.DevicePath());
    presentAlias.PointAt(back.DevicePath());
    EXPECT_EQ(Names(watch.Look(listed)), std::vector<std::string>{"COM1"})
        << "a device under two names is reported once";
}

TEST(PortWatch, IdentityChangesWithTheNodeNotWithTheName) {
    LinkedPath name;
    EXPECT_FALSE(DeviceIdentity(name.Path()));
    std::optional<std::string> before;
    {
        PseudoTerminal device;
        name.PointAt(device.DevicePath());
        before = DeviceIdentity(name.Path());
        ASSERT_TRUE(before);
        EXPECT_EQ(DeviceIdentity(device.DevicePath()), before);
    }
    // The freed terminal number may well come back; the node is a new one all the same. Node
    // times go by the system's clock tick, which a device coming back could never beat.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    PseudoTerminal again;
    name.PointAt(again.DevicePath());
    EXPECT_NE(DeviceIdentity(name.Path()), before);
}

TEST(PortWatch, TriesADeviceRefusedAsBusyAtEveryLookUntilItOpens) {
    PseudoTerminal held;
    PseudoTerminal other;
    const std::vector<SerialPortEntry> listed = {{"COM1", other.DevicePath()},
                                                 {"COM2", held.DevicePath()}};
    PortWatch watch;
    watch.Start(listed, {listed[1]});
    EXPECT_EQ(Names(watch.Look(listed)), std::vector<std::string>{"COM2"});
    watch.NoteTried(listed[1], true);
    EXPECT_EQ(Names(watch.Look(listed)), std::vector<std::string>{"COM2"}) << "still held";
    watch.NoteTried(listed[1], false);
    EXPECT_TRUE(watch.Look(listed).empty()) << "once opened, it is asked no more";
}
