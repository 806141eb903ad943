#include "panel/resource.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"
#include "tests/panel/protection_input.h"

#include <QLabel>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using pelmora::sim::SimConfig;
namespace fs = std::filesystem;

namespace {

SimConfig ShortedAfterASecond() {
    SimConfig config;
    config.noiseMa = 0;
    config.loadChanges.push_back({std::chrono::milliseconds(1000), pelmora::sim::kShortOhms,
                                  pelmora::sim::kDefaultLoadOhms});
    return config;
}

// What the status lines show, and whether all of it is in sight: each line inside the panel,
// below every control of the template, and tall enough for its wrapped text.
struct StatusSeen {
    QString connection;
    QString protection;
    QRgb protectionColour = 0;
    bool wholeInSight = false;
    // What is out of sight, when something is.
    QString hidden;
};

StatusSeen Status(CSupplyPanelDlg& panel) {
    StatusSeen seen;
    auto* status = panel.findChild<QWidget*>(QStringLiteral("status"));
    if (!status) {
        return seen;
    }
    if (!panel.rect().contains(status->geometry())) {
        seen.hidden += QStringLiteral("lines outside the panel; ");
    }
    for (auto* control : panel.findChildren<QWidget*>()) {
        if (control->property(kControlIdProperty).isValid() && control->isVisible() &&
            control->geometry().intersects(status->geometry())) {
            seen.hidden += control->objectName() + QStringLiteral(" covered; ");
        }
    }
    for (auto* line : status->findChildren<QLabel*>()) {
        if (!status->rect().contains(line->geometry()) ||
            line->heightForWidth(line->width()) > line->height()) {
            seen.hidden += line->objectName() + QStringLiteral(" cut; ");
        }
        if (line->objectName() == QStringLiteral("connection")) {
            seen.connection = line->text();
        } else if (line->objectName() == QStringLiteral("protection")) {
            seen.protection = line->text();
            seen.protectionColour = line->palette().color(QPalette::WindowText).rgb() & RGB_MASK;
        }
    }
    seen.wholeInSight = seen.hidden.isEmpty();
    return seen;
}

class StatusLines : public ::testing::Test {
protected:
    StatusLines()
        : m_sim(ShortedAfterASecond()),
          m_record(fs::temp_directory_path() /
                   ("pelmora-status-" + std::to_string(::getpid()) + ".csv")) {}
    ~StatusLines() override { fs::remove(m_record); }

    QString Where() {
        return QStringLiteral("COM3 (%1)").arg(QString::fromStdString(m_sim.supply.SlavePath()));
    }
    // Limits on the positive rail, the recording started, the output on, and the trip.
    void TripWhileRecording(const QString& protectionEntry, const QString& recordingEntry) {
        m_answerer.SetAnswer(FillingProtection(
            {.positiveOn = true, .positiveMa = 100, .samples = 1, .delaySeconds = 0}));
        ChooseFromContextMenu(m_panel, protectionEntry);
        m_limits = Status(m_panel);
        m_answerer.SetAnswer(
            ModalAnswerer::ChoosingFile(QString::fromStdString(m_record.string())));
        ChooseFromContextMenu(m_panel, recordingEntry);
        m_recording = Status(m_panel);
        Key(&m_panel, Qt::Key_Return);
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return Status(m_panel).protectionColour != m_limits.protectionColour; }));
        m_tripped = Status(m_panel);
    }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    fs::path m_record;
    CSupplyPanelDlg m_panel;
    StatusSeen m_start;
    StatusSeen m_limits;
    StatusSeen m_recording;
    StatusSeen m_tripped;
};

} // namespace

TEST_F(StatusLines, ShowTheConnectionTheRecordingAndTheProtectionBelowTheControls) {
    RunPanel(m_panel, [&] {
        m_start = Status(m_panel);
        TripWhileRecording(QStringLiteral("過電流保護…"), QStringLiteral("記録を開始…"));
    });
    EXPECT_EQ(m_start.connection, Where());
    EXPECT_EQ(m_start.protection, QStringLiteral("過電流保護: オフ"));
    EXPECT_EQ(m_limits.protection, QStringLiteral("保護 正 100\u00a0mA / 負 なし"));
    EXPECT_EQ(m_recording.connection, Where() + QStringLiteral(" \u2014 記録中"));
    EXPECT_TRUE(m_tripped.protection.startsWith(
        QStringLiteral("トリップ: 正側 999\u00a0mA > 100\u00a0mA (")))
        << m_tripped.protection.toStdString();
    EXPECT_EQ(m_tripped.protectionColour, 0xC00000u) << "a trip is shown as a warning";
    for (const auto& seen : {m_start, m_limits, m_recording, m_tripped}) {
        EXPECT_TRUE(seen.wholeInSight) << seen.hidden.toStdString();
    }
}

TEST_F(StatusLines, ShowAnEnglishTripWhole) {
    const InEnglish english;
    RunPanel(m_panel, [&] {
        TripWhileRecording(QStringLiteral("Over-current protection…"),
                           QStringLiteral("Start recording…"));
    });
    EXPECT_EQ(m_recording.connection, Where() + QStringLiteral(" \u2014 Recording"));
    EXPECT_TRUE(m_tripped.protection.startsWith(
        QStringLiteral("Tripped: Positive rail 999\u00a0mA > 100\u00a0mA (")))
        << m_tripped.protection.toStdString();
    EXPECT_TRUE(m_tripped.wholeInSight) << m_tripped.hidden.toStdString();
}

TEST(StatusLinesOfAPanelWithoutSupply, SayItIsNotConnected) {
    ModalAnswerer answerer;
    ListedPorts listed("COM1=/nonexistent/ttyUSB0");
    CSupplyPanelDlg panel;
    StatusSeen seen;
    RunPanel(panel, [&] { seen = Status(panel); });
    EXPECT_EQ(seen.connection, QStringLiteral("未接続"));
    EXPECT_TRUE(seen.wholeInSight) << seen.hidden.toStdString();
}
