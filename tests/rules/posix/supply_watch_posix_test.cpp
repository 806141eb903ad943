#include "rules/supply_watch.h"
#include "tests/support/pty_peer.h"

#include <gtest/gtest.h>
#include <map>
#include <unistd.h>
#include <utility>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

// A path that leads to whichever device is put behind it, as a listed name or the lasting name
// the system keeps for a USB device does.
class LinkedPath {
public:
    LinkedPath()
        : m_path(fs::temp_directory_path() / ("pelmora-supply-watch-" + std::to_string(::getpid()) +
                                              "-" + std::to_string(++s_count))) {}
    ~LinkedPath() { fs::remove(m_path); }
    LinkedPath(const LinkedPath&) = delete;
    LinkedPath& operator=(const LinkedPath&) = delete;
    void PointAt(const fs::path& device) {
        fs::remove(m_path);
        fs::create_symlink(device, m_path);
    }
    const fs::path& Path() const { return m_path; }

private:
    static inline int s_count = 0;
    fs::path m_path;
};

// A probe that notes whom it asked and answers from a script: by entry name, else NotSupply.
class ScriptedProbe {
public:
    void Answer(const std::string& name, ProbeOutcome outcome) { m_answers[name] = outcome; }
    SupplyWatch::Probe Probe() {
        return [this](const SerialPortEntry& entry) {
            m_asked.push_back(entry.name);
            const auto answer = m_answers.find(entry.name);
            return answer == m_answers.end() ? ProbeOutcome::NotSupply : answer->second;
        };
    }
    // Whom it asked since the last call.
    std::vector<std::string> TakeAsked() { return std::exchange(m_asked, {}); }

private:
    std::map<std::string, ProbeOutcome> m_answers;
    std::vector<std::string> m_asked;
};

} // namespace

TEST(SupplyWatch, AsksTheSupplysOwnDeviceFirstWhateverNumberItComesBackWith) {
    LinkedPath low;
    LinkedPath high;
    LinkedPath lasting;
    const std::vector<SerialPortEntry> listed = {{"COM1", low.Path()}, {"COM2", high.Path()}};
    SupplyWatch watch;
    watch.FollowSupply(lasting.Path());
    watch.Start(listed);

    // Both come at once; the supply has the higher number this time.
    PseudoTerminal other;
    PseudoTerminal supply;
    low.PointAt(other.DevicePath());
    high.PointAt(supply.DevicePath());
    lasting.PointAt(supply.DevicePath());
    ScriptedProbe probe;
    probe.Answer("COM2", ProbeOutcome::Supply);
    const auto found = watch.Look(listed, probe.Probe());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "COM2");
    EXPECT_EQ(probe.TakeAsked(), std::vector<std::string>{"COM2"})
        << "the other device is not disturbed when the supply is back";
}

TEST(SupplyWatch, WithoutALastingNameAsksInListOrderUntilTheSupplyAnswers) {
    LinkedPath first;
    LinkedPath second;
    LinkedPath third;
    const std::vector<SerialPortEntry> listed = {
        {"COM1", first.Path()}, {"COM2", second.Path()}, {"COM3", third.Path()}};
    SupplyWatch watch;
    watch.FollowSupply(std::nullopt);
    watch.Start(listed);

    PseudoTerminal a;
    PseudoTerminal b;
    PseudoTerminal c;
    first.PointAt(a.DevicePath());
    second.PointAt(b.DevicePath());
    third.PointAt(c.DevicePath());
    ScriptedProbe probe;
    probe.Answer("COM2", ProbeOutcome::Supply);
    const auto found = watch.Look(listed, probe.Probe());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "COM2");
    EXPECT_EQ(probe.TakeAsked(), (std::vector<std::string>{"COM1", "COM2"}));
}

TEST(SupplyWatch, AsksAnotherInstrumentOnceAndABusyDeviceAtEveryLookUntilItOpens) {
    PseudoTerminal held;
    LinkedPath arriving;
    const std::vector<SerialPortEntry> listed = {{"COM1", held.DevicePath()},
                                                 {"COM2", arriving.Path()}};
    SupplyWatch watch;
    // The search before the watch found the first one held by another program.
    watch.Start(listed, {listed[0]});
    PseudoTerminal instrument;
    arriving.PointAt(instrument.DevicePath());

    ScriptedProbe probe;
    probe.Answer("COM1", ProbeOutcome::Busy);
    EXPECT_FALSE(watch.Look(listed, probe.Probe()));
    EXPECT_EQ(probe.TakeAsked(), (std::vector<std::string>{"COM1", "COM2"}));
    EXPECT_FALSE(watch.Look(listed, probe.Probe()));
    EXPECT_EQ(probe.TakeAsked(), std::vector<std::string>{"COM1"})
        << "the instrument that stays is not asked again; the held device is";

    probe.Answer("COM1", ProbeOutcome::Supply);
    const auto found = watch.Look(listed, probe.Probe());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, "COM1");
}
