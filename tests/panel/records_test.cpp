#include "panel/current_graph_wnd.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/modal_answerer.h"
#include "tests/panel/panel_harness.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

using pelmora::sim::SimConfig;
namespace fs = std::filesystem;

namespace {

// Redrawn once a second: under the sanitizers a few seconds pass before it shows much.
constexpr int kSlowBoundMs = 15'000;

const QString kStart = QStringLiteral("記録を開始…");
const QString kStop = QStringLiteral("記録を停止");
const QString kGraph = QStringLiteral("電流グラフ");

QStringList Lines(const fs::path& file) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QString text = QString::fromUtf8(in.readAll());
    EXPECT_TRUE(text.isEmpty() || text.endsWith('\n')) << "the file ends with a whole row";
    QStringList lines = text.split('\n');
    lines.removeLast();
    return lines;
}

// A row of a poll: local time with milliseconds and offset, seconds since the start, and
// either four readings or, for a failed poll, four empty fields.
bool IsRow(const QString& line, bool answered) {
    static const QRegularExpression answeredRow(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,\d+\.\d{3})"
                       R"((,-?\d+){4}$)"));
    static const QRegularExpression failedRow(
        QStringLiteral(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d,\d+\.\d{3},,,,$)"));
    return (answered ? answeredRow : failedRow).match(line).hasMatch();
}

class Records : public ::testing::Test {
protected:
    explicit Records(SimConfig config = {})
        : m_sim(std::move(config)),
          m_dir(fs::temp_directory_path() / ("pelmora-records-" + std::to_string(::getpid()))) {
        fs::create_directories(m_dir);
    }
    ~Records() override { fs::remove_all(m_dir); }

    QPushButton* OnOff() { return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF")); }
    int Polls() { return CountCommand(m_sim.supply, "REQA\r"); }
    bool TitleSaysRecording() {
        return m_panel.windowTitle().startsWith(
            QStringLiteral("COM3 (%1) \u2014 記録中 \u2014 ")
                .arg(QString::fromStdString(m_sim.supply.SlavePath().string())));
    }
    void RecordTo(const fs::path& file) {
        m_answerer.SetAnswer(ModalAnswerer::ChoosingFile(QString::fromStdString(file.string())));
        ChooseFromContextMenu(m_panel, kStart);
    }

    ModalAnswerer m_answerer;
    SupplyOnCom3 m_sim;
    fs::path m_dir;
    CSupplyPanelDlg m_panel;
};

class RecordsOfAFailingSupply : public Records {
protected:
    static SimConfig Failing() {
        // Answers the identity request and the first three polls, then nothing.
        SimConfig config;
        config.stopAnsweringAfter = 6;
        return config;
    }
    RecordsOfAFailingSupply() : Records(Failing()) {}
};

// A supply on a name that outlives any one simulated supply, to lose and find again.
class RecordsOfALostSupply : public ::testing::Test {
protected:
    RecordsOfALostSupply()
        : m_dir(fs::temp_directory_path() / ("pelmora-losses-" + std::to_string(::getpid()))),
          m_listed("COM3=" + (m_dir / "supply").string()) {
        fs::create_directories(m_dir);
    }
    ~RecordsOfALostSupply() override { fs::remove_all(m_dir); }

    pelmora::sim::SimulatedSupply& PlugIn(SimConfig config = {}) {
        config.linkPath = m_dir / "supply";
        m_supply.reset();
        m_supply = std::make_unique<pelmora::sim::SimulatedSupply>(std::move(config));
        return *m_supply;
    }
    bool Connected() { return !m_panel.windowTitle().contains(QStringLiteral("未接続")); }
    int Polls() { return CountCommand(*m_supply, "REQA\r"); }
    QPushButton* OnOff() { return m_panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF")); }
    void Record() {
        m_answerer.SetAnswer(ModalAnswerer::ChoosingFile(QString::fromStdString(File().string())));
        ChooseFromContextMenu(m_panel, kStart);
    }
    fs::path File() const { return m_dir / "losses.csv"; }
    // The rows after the header, each as a reading ('+') or a row without one ('-').
    std::string Rows() {
        std::string rows;
        const QStringList lines = Lines(File());
        for (int i = 1; i < lines.size(); ++i) {
            rows += IsRow(lines[i], true) ? '+' : IsRow(lines[i], false) ? '-' : '?';
        }
        return rows;
    }

    fs::path m_dir;
    ListedPorts m_listed;
    ModalAnswerer m_answerer;
    std::unique_ptr<pelmora::sim::SimulatedSupply> m_supply;
    CSupplyPanelDlg m_panel;
};

// Long enough for a few polls and looks at the ports while the supply is away.
constexpr int kAwayMs = 1000;

} // namespace

TEST_F(RecordsOfALostSupply, ALossDuringAPollIsOneRowAndRowsFollowOnceTheSupplyIsBack) {
    // REQPN, RST, the voltage command, two polls, and the line drops at the third.
    SimConfig hangingUp;
    hangingUp.hangUpAfter = 6;
    PlugIn(hangingUp);
    RunPanel(m_panel, [&] {
        Record();
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !Connected(); }));
        ProcessEventsFor(kAwayMs);
        EXPECT_EQ(Rows(), "++-");

        PlugIn();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Connected(); }, kReconnectBoundMs));
        EXPECT_EQ(Rows(), "++-") << "found again with the output off: nothing to record";
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Polls() >= 3; }));
    });
    const std::string rows = Rows();
    EXPECT_TRUE(rows.starts_with("++-+++")) << rows;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '-'), 1) << rows;
}

TEST_F(RecordsOfALostSupply, ALossBetweenPollsIsMarkedByOneRow) {
    PlugIn();
    RunPanel(m_panel, [&] {
        Record();
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Polls() >= 3; }));
        // The line drops while no poll is out.
        m_supply->Stop();
        const auto polled = static_cast<std::size_t>(Polls());
        ASSERT_TRUE(ProcessEventsUntil([&] { return !Connected(); }));
        ProcessEventsFor(kAwayMs);
        EXPECT_EQ(Rows(), std::string(polled, '+') + '-');
    });
}

TEST_F(RecordsOfALostSupply, ALossWhileTheOutputIsOffIsMarkedToo) {
    PlugIn();
    RunPanel(m_panel, [&] {
        Record();
        m_supply->Stop();
        ASSERT_TRUE(ProcessEventsUntil([&] { return !Connected(); }));
        ProcessEventsFor(kAwayMs);
        EXPECT_EQ(Rows(), "-");
    });
}

TEST_F(Records, EveryPollBecomesARowUntilTheRecordingStops) {
    const fs::path file = m_dir / "currents.csv";
    int polled = 0;
    RunPanel(m_panel, [&] {
        RecordTo(file);
        EXPECT_TRUE(TitleSaysRecording());
        EXPECT_EQ(ChooseFromContextMenu(m_panel, QString()).front(), kGraph);
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Polls() >= 5; }));
        ChooseFromContextMenu(m_panel, kStop);
        polled = Polls();
        EXPECT_FALSE(TitleSaysRecording());
        ProcessEventsFor(700);
        EXPECT_GT(Polls(), polled) << "polls go on after the recording";
    });
    const QStringList lines = Lines(file);
    ASSERT_EQ(lines.size(), polled + 1);
    EXPECT_EQ(lines.front(), QStringLiteral("time,elapsed_s,pos_mA,neg_mA,pos_avg_mA,neg_avg_mA"));
    for (int i = 1; i < lines.size(); ++i) {
        EXPECT_TRUE(IsRow(lines[i], true)) << lines[i].toStdString();
    }
}

TEST_F(RecordsOfAFailingSupply, AFailedPollIsARowWithoutReadingsAndClosingKeepsWholeRows) {
    const fs::path file = m_dir / "failing.csv";
    m_answerer.SetAnswer(ModalAnswerer::ChoosingFile(QString::fromStdString(file.string())));
    RunPanel(m_panel, [&] {
        RecordTo(file);
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Polls() >= 6; }));
    });
    // The panel closed while recording.
    const QStringList lines = Lines(file);
    ASSERT_GE(lines.size(), 7);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(IsRow(lines[i], true)) << lines[i].toStdString();
    }
    for (int i = 4; i < lines.size(); ++i) {
        EXPECT_TRUE(IsRow(lines[i], false)) << lines[i].toStdString();
    }
}

TEST_F(Records, AFileThatCannotBeWrittenStopsTheRecordingAndSaysWhy) {
    RunPanel(m_panel, [&] {
        // A full disk: the header cannot be written. The system's reason is in the panel's
        // language too, from Qt's own translations.
        RecordTo("/dev/full");
        ProcessEventsFor(50);
        ASSERT_FALSE(m_answerer.Seen().empty());
        EXPECT_EQ(m_answerer.Seen().back().text,
                  QStringLiteral("記録を停止しました。/dev/full に書き込めません: "
                                 "デバイスに空き容量がありません"));
        EXPECT_FALSE(TitleSaysRecording());
        // A file nobody may write.
        RecordTo("/proc/version");
        ProcessEventsFor(50);
        EXPECT_TRUE(m_answerer.Seen().back().text.startsWith(
            QStringLiteral("記録を停止しました。/proc/version に書き込めません: ")));
        // The panel runs on.
        OnOff()->click();
        EXPECT_EQ(Commands(m_sim.supply).back(), "V010010\r");
        EXPECT_EQ(ChooseFromContextMenu(m_panel, QString()).at(1), kStart);
    });
}

TEST_F(Records, TheGraphShowsThePanelsReadingsWithAGapWhereTheOutputWasOff) {
    const fs::path picture = m_dir / "graph.png";
    RunPanel(m_panel, [&] {
        ChooseFromContextMenu(m_panel, kGraph);
        auto* graph = m_panel.findChild<CCurrentGraphWnd*>();
        ASSERT_NE(graph, nullptr);
        EXPECT_TRUE(graph->isVisible());
        EXPECT_FALSE(graph->isModal());
        auto* chart = graph->findChild<QChartView*>()->chart();
        const auto pointsOf = [chart](int series) {
            return static_cast<QLineSeries*>(chart->series().at(series))->count();
        };

        // It takes no reading of its own.
        ProcessEventsFor(1500);
        EXPECT_EQ(Polls(), 0);

        // The panel stays usable beside it.
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil([&] { return pointsOf(0) >= 3; }, kSlowBoundMs));
        OnOff()->click();
        ProcessEventsFor(700);
        OnOff()->click();
        ASSERT_TRUE(ProcessEventsUntil(
            [&] { return chart->series().size() == 8 && pointsOf(4) >= 2; }, kSlowBoundMs));
        EXPECT_EQ(chart->legend()->markers().size(), 8);

        // Paused, it stays as it is while the readings go on.
        graph->findChild<QPushButton*>()->click();
        EXPECT_TRUE(graph->IsPaused());
        const int shown = pointsOf(4);
        ProcessEventsFor(1500);
        EXPECT_EQ(pointsOf(4), shown);

        m_answerer.SetAnswer(ModalAnswerer::ChoosingFile(QString::fromStdString(picture.string())));
        for (auto* button : graph->findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("PNGで保存…")) {
                button->click();
            } else if (button->text() == QStringLiteral("コピー")) {
                button->click();
            }
        }
        EXPECT_FALSE(QApplication::clipboard()->image().isNull());

        // Closed and opened again, it shows what was kept.
        graph->close();
        ChooseFromContextMenu(m_panel, kGraph);
        EXPECT_EQ(m_panel.findChild<CCurrentGraphWnd*>(), graph);
        EXPECT_GE(pointsOf(0), 3);
    });
    QImage saved(QString::fromStdString(picture.string()));
    EXPECT_FALSE(saved.isNull());
}
