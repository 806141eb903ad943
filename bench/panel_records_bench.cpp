// What the current graph, the recording and the watch for a lost supply cost the panel: CPU of
// the UI thread while polling with the graph open, the time a recorded row adds to a tick,
// memory and redraw time of an hour of samples, and CPU while no supply is connected.
//   panel_records_bench [seconds]   (default 60 for each timed run)
#include "app/supply_app.h"
#include "bench/bench_stats.h"
#include "link/port_list.h"
#include "panel/current_graph_wnd.h"
#include "panel/current_recording.h"
#include "panel/current_trace.h"
#include "panel/supply_panel_dlg.h"
#include "sim/simulated_supply.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kDefaultSeconds = 60;
constexpr int kRowsTimed = 20'000;
constexpr double kPollSeconds = 0.3;
constexpr int kSamplesInAnHour = 12'000;

// Answers the not-found message as a user would, with OK.
class MessageAnswerer : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (auto* box = qobject_cast<QMessageBox*>(watched); box && event->type() == QEvent::Show) {
            QTimer::singleShot(0, box, [box] { box->accept(); });
        }
        return false;
    }
};

double ThreadCpuSeconds() {
    timespec used{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

// Runs the panel for `seconds` after `setUp`, measuring the UI thread's CPU meanwhile.
void MeasurePanel(const char* label, int seconds,
                  const std::function<void(CSupplyPanelDlg&)>& setUp) {
    CSupplyPanelDlg panel;
    QTimer::singleShot(0, &panel, [&] {
        setUp(panel);
        const double before = ThreadCpuSeconds();
        QTimer::singleShot(std::chrono::seconds(seconds), &panel, [&, before] {
            const double used = ThreadCpuSeconds() - before;
            std::printf("%-52s %7.3f %% of one core (%.3f s CPU in %d s)\n", label,
                        100.0 * used / seconds, used, seconds);
            panel.close();
        });
    });
    panel.exec();
}

void MeasureRowWrites() {
    const auto path = std::filesystem::temp_directory_path() / "pelmora-bench-rows.csv";
    CCurrentRecording recording;
    QString problem;
    if (!recording.Start(QString::fromStdString(path.string()), problem)) {
        std::printf("cannot record to %s: %s\n", path.c_str(), qPrintable(problem));
        return;
    }
    std::vector<std::chrono::nanoseconds> times;
    times.reserve(kRowsTimed);
    for (int i = 0; i < kRowsTimed; ++i) {
        const auto start = std::chrono::steady_clock::now();
        recording.Write(pelmora::protocol::CurrentReading{i % 999, -(i % 99)},
                        pelmora::protocol::CurrentReading{50, -20}, problem);
        times.push_back(std::chrono::steady_clock::now() - start);
    }
    recording.Stop();
    std::filesystem::remove(path);
    PrintDistribution("recorded row, added to a tick", times);
}

void MeasureAnHourOfSamples() {
    const double before = ResidentMiB();
    CurrentTrace trace;
    trace.BeginPeriod();
    for (int i = 0; i < kSamplesInAnHour; ++i) {
        trace.Add({i * kPollSeconds, 100 + i % 7, -(40 + i % 5), 103, -42});
    }
    std::printf("%-52s %7.2f MiB (%zu samples; %.2f MiB resident in all)\n",
                "memory of an hour of samples", ResidentMiB() - before, trace.SampleCount(),
                ResidentMiB());
    CCurrentGraphWnd graph(trace, nullptr);
    graph.show();
    std::vector<std::chrono::nanoseconds> times;
    for (int i = 0; i < 20; ++i) {
        const auto start = std::chrono::steady_clock::now();
        graph.Redraw();
        times.push_back(std::chrono::steady_clock::now() - start);
    }
    PrintDistribution("redraw of the graph, 10 minutes shown", times);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : kDefaultSeconds;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CSupplyApp app(argc, argv);
    MessageAnswerer answerer;
    app.installEventFilter(&answerer);
    MeasureRowWrites();
    MeasureAnHourOfSamples();
    {
        pelmora::sim::SimulatedSupply supply;
        const std::string entry = "COM1=" + supply.SlavePath().string();
        ::setenv(pelmora::kPortsVariable, entry.c_str(), 1);
        MeasurePanel("UI thread, polling with the graph open", seconds, [](CSupplyPanelDlg& panel) {
            panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF"))->click();
            panel.OnShowGraph();
        });
    }
    {
        // Another instrument stays plugged in; the supply is nowhere.
        pelmora::sim::SimConfig other;
        other.identitySuffix = "01";
        pelmora::sim::SimulatedSupply instrument(other);
        const std::string entry =
            "COM1=" + instrument.SlavePath().string() + ",COM2=/nonexistent/ttyACM0";
        ::setenv(pelmora::kPortsVariable, entry.c_str(), 1);
        MeasurePanel("UI thread, not connected and watching", seconds, [](CSupplyPanelDlg&) {});
    }
    return 0;
}
