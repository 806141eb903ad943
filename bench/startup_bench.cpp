// Start-up and running costs of the whole program against the simulated supply: time from
// process start to the panel's first paint beyond the pauses start-up must make, CPU use while
// the output is on and polled, and peak memory.
#include "app/supply_app.h"
#include "bench/bench_stats.h"
#include "link/port_list.h"
#include "panel/panel_timing.h"
#include "panel/supply_panel_dlg.h"
#include "sim/simulated_supply.h"

#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

constexpr auto kHostWait = 30ms;
constexpr int kDefaultPollSeconds = 30;
// Search delay and identity exchange, the pause after the search, and the reset.
constexpr auto kPrescribedStartup =
    pelmora::timing::kSearchDelay + kHostWait + pelmora::timing::kStartupPause + kHostWait;

// How long this process has existed, from the kernel's record of its start.
std::chrono::nanoseconds SinceProcessStart() {
    std::ifstream statFile("/proc/self/stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    // Field 22 is the start time; fields 1 and 2 came before the closing parenthesis.
    for (int i = 3; i <= 22; ++i) {
        fields >> field;
    }
    const double startSeconds = std::stod(field) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowSeconds =
        static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    return std::chrono::nanoseconds(static_cast<long long>((nowSeconds - startSeconds) * 1e9));
}

double CpuSeconds(clockid_t clock) {
    timespec used{};
    ::clock_gettime(clock, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) * 1e-9;
}

class StartupProbe : public QObject {
public:
    explicit StartupProbe(int pollSeconds) : m_pollSeconds(pollSeconds) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* panel = qobject_cast<CSupplyPanelDlg*>(watched);
        if (panel && event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            const auto sinceStart = SinceProcessStart();
            std::printf("%-48s %8.1f ms (%.1f ms in all, %.0f ms of it prescribed pauses)\n",
                        "process start to first paint, overhead",
                        Milliseconds(sinceStart - kPrescribedStartup), Milliseconds(sinceStart),
                        Milliseconds(kPrescribedStartup));
            QTimer::singleShot(0, panel, [this, panel] { MeasurePolling(*panel); });
        }
        return false;
    }

private:
    void MeasurePolling(CSupplyPanelDlg& panel) {
        panel.findChild<QPushButton*>(QStringLiteral("IDC_ONOFF"))->click();
        const double threadBefore = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        QTimer::singleShot(
            std::chrono::seconds(m_pollSeconds), &panel, [this, &panel, threadBefore] {
                const double used = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - threadBefore;
                std::printf("%-48s %8.3f %% of one core (%.3f s CPU in %d s)\n",
                            "UI thread while polling", 100.0 * used / m_pollSeconds, used,
                            m_pollSeconds);
                panel.close();
            });
    }

    int m_pollSeconds;
    bool m_painted = false;
};

} // namespace

int main(int argc, char** argv) {
    const int pollSeconds = argc > 1 ? std::atoi(argv[1]) : kDefaultPollSeconds;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    pelmora::sim::SimulatedSupply supply;
    const std::string entry = "COM1=" + supply.SlavePath().string();
    ::setenv(pelmora::kPortsVariable, entry.c_str(), 1);

    CSupplyApp app(argc, argv);
    StartupProbe probe(pollSeconds);
    app.installEventFilter(&probe);
    app.InitInstance();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%-48s %8.1f MiB\n", "peak resident memory",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return 0;
}
