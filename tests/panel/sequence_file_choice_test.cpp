#include "tests/panel/input_events.h"
#include "tests/panel/sequence_fixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QPointer>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Plays the writer of a named pipe for anyone who opens it to read: such a reader would wait
// for a writer for good, and the test with it. The watch tells whether anyone did.
class PipeWatch {
public:
    explicit PipeWatch(const fs::path& pipe)
        : m_thread([this, pipe] {
              while (!m_stop) {
                  // Opens only while someone has the pipe open for reading.
                  const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                  if (writer >= 0) {
                      m_opened = true;
                      ::close(writer);
                  }
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~PipeWatch() {
        m_stop = true;
        m_thread.join();
    }
    PipeWatch(const PipeWatch&) = delete;
    PipeWatch& operator=(const PipeWatch&) = delete;

    bool Opened() const { return m_opened; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_opened{false};
    std::thread m_thread;
};

QString LastText(const ModalAnswerer& answerer) {
    return answerer.Seen().empty() ? QString() : answerer.Seen().back().text;
}

} // namespace

TEST_F(Sequences, APipeOrADeviceIsRefusedUnopenedWhileTheOutputStaysWatched) {
    const fs::path pipe = m_dir / "ramp.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    PipeWatch watch(pipe);
    RunPanel(m_panel, [&] {
        // The output on, as it is while a board is being tried.
        Key(&m_panel, Qt::Key_Return);
        ASSERT_EQ(LampCentre(m_panel), kLampOnRed);

        Run(pipe);
        ASSERT_FALSE(watch.Opened()) << "the panel opened the pipe and waited in it";
        EXPECT_EQ(Progress(), nullptr);
        EXPECT_EQ(LastText(m_answerer),
                  QStringLiteral("シーケンスを実行できません: ramp.csv を読めません: "
                                 "名前付きパイプ (FIFO)です。通常のファイルではありません"));
        const int polls = CountCommand(m_sim.supply, kPoll);
        ASSERT_TRUE(
            ProcessEventsUntil([&] { return CountCommand(m_sim.supply, kPoll) >= polls + 2; }));

        // Read, it would never end.
        Run("/dev/zero");
        EXPECT_EQ(Progress(), nullptr);
        EXPECT_EQ(LastText(m_answerer),
                  QStringLiteral("シーケンスを実行できません: zero を読めません: "
                                 "キャラクターデバイスです。通常のファイルではありません"));
        EXPECT_TRUE(SettingsSent().empty());
        EXPECT_EQ(LampCentre(m_panel), kLampOnRed) << "a refused file leaves the output as it was";
    });
    EXPECT_EQ(Commands(m_sim.supply).back(), kReset);
}

TEST_F(Sequences, AFileTooLargeIsRefusedWithTheLimit) {
    const fs::path large = m_dir / "large.csv";
    std::ofstream(large).close();
    fs::resize_file(large, 2 * pelmora::kMaxSequenceFileBytes);
    RunPanel(m_panel, [&] {
        Run(large);
        EXPECT_EQ(Progress(), nullptr);
    });
    EXPECT_EQ(LastText(m_answerer),
              QStringLiteral("シーケンスを実行できません: large.csv を読めません: 1048576 "
                             "バイトを超えています。シーケンスファイルは 1048576 バイトまでです"));
}

TEST_F(Sequences, EachProblemOfAFileIsSaidInJapanese) {
    const std::vector<std::pair<std::string, QString>> files = {
        {"1,5,-12\n1,5,-12,3\n",
         QStringLiteral(" の 2 行目: フィールドが 4 個あります。1 ステップは 3 個 "
                        "(dwell_s,pos_v,neg_v) です")},
        {"1,5\n", QStringLiteral(" の 1 行目、neg_v: 値がありません。1 ステップは "
                                 "dwell_s,pos_v,neg_v です")},
        {"1s,5,-5\n", QStringLiteral(" の 1 行目、dwell_s: 「1s」は秒数ではありません")},
        {"90000,5,-5\n", QStringLiteral(" の 1 行目、dwell_s: 「90000」は 86400 秒を超えています。"
                                        "長く保つにはステップを繰り返してください")},
        {"1,5,5.5\n",
         QStringLiteral(" の 1 行目、neg_v: 「5.5」は負側の電圧にありません。使える電圧: "
                        "-1, -1.5, -2, -2.5, -3, -3.5, -4, -5, -6, -7, -8, -9, -10, "
                        "-11, -12, -13 V")},
        {"1,0.5,-5\n", QStringLiteral(" の 1 行目、pos_v: 「0.5」は正側の電圧にありません。")},
        {"# nothing yet\n", QStringLiteral(": ステップがありません")},
    };
    RunPanel(m_panel, [&] {
        for (const auto& [text, said] : files) {
            Run(Write("bad.csv", text));
            EXPECT_EQ(Progress(), nullptr);
            EXPECT_TRUE(
                LastText(m_answerer)
                    .startsWith(QStringLiteral("シーケンスを実行できません: bad.csv") + said))
                << LastText(m_answerer).toStdString();
        }
        EXPECT_TRUE(SettingsSent().empty());
    });
}

TEST_F(Sequences, InEnglishTheProblemsAreWordedAsOnTheCommandLine) {
    const InEnglish english;
    const fs::path bad = Write("bad.csv", "1,5,-12\n0.1,5,-12\n");
    const fs::path pipe = m_dir / "pipe.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const PipeWatch watch(pipe);
    QStringList said;
    RunPanel(m_panel, [&] {
        Run(bad);
        said << LastText(m_answerer);
        Run(pipe);
        said << LastText(m_answerer);
    });
    EXPECT_EQ(said, (QStringList{
                        "Cannot run the sequence: bad.csv:2: dwell_s: '0.1' is below 0.3 s, one "
                        "poll of the currents",
                        "Cannot run the sequence: cannot read pipe.csv: a named pipe (FIFO), not "
                        "a regular file",
                    }));
}

TEST_F(Sequences, AClosingWhileTheFileIsReadWinsOverTheProgram) {
    const fs::path file = Write("long.csv", "60,5,-5\n");
    m_answerer.SetAnswer([&](const SeenBox& seen) {
        auto* files = qobject_cast<QFileDialog*>(seen.dialog.data());
        if (!files) {
            return QMessageBox::Ok;
        }
        QPointer<QFileDialog> target(files);
        QMetaObject::invokeMethod(
            files,
            [this, target, file] {
                target->selectFile(QString::fromStdString(file.string()));
                static_cast<QDialog*>(target.data())->accept();
                // The close box, Escape or a signal, while the file is being read.
                QMetaObject::invokeMethod(
                    &m_panel, [this] { m_panel.close(); }, Qt::QueuedConnection);
            },
            Qt::QueuedConnection);
        return QMessageBox::NoButton;
    });
    RunPanel(m_panel, [&] { ChooseFromContextMenu(m_panel, kRunSequence); });
    // Time for the read to end and for anything it might start.
    ProcessEventsFor(700);
    EXPECT_EQ(Progress(), nullptr);
    EXPECT_EQ(CountCommand(m_sim.supply, Voltages("050", "050")), 0);
    EXPECT_EQ(Commands(m_sim.supply).back(), kReset);
}
