// Overhead of the panel's dealings with the supply, against the simulated supply: a current
// exchange beyond its host wait time, and the port search beyond the pauses it must make.
#include "bench/bench_stats.h"
#include "link/port_list.h"
#include "panel/dialog_font.h"
#include "panel/panel_timing.h"
#include "panel/supply_panel_dlg.h"
#include "sim/simulated_supply.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <memory>
#include <string>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using pelmora::sim::SimConfig;
using pelmora::sim::SimulatedSupply;

namespace {

constexpr int kExchanges = 300;
constexpr int kSearchRuns = 5;
constexpr auto kHostWait = 30ms;

void ListPorts(const std::string& entries) {
    ::setenv(pelmora::kPortsVariable, entries.c_str(), 1);
}

std::unique_ptr<CSupplyPanelDlg> ReadyPanel() {
    auto panel = std::make_unique<CSupplyPanelDlg>();
    panel->findChild<QLineEdit*>(QStringLiteral("IDC_WAIT_MS"))
        ->setText(QString::number(pelmora::timing::kReplyWaitMs));
    return panel;
}

void BenchCurrentExchange() {
    SimulatedSupply supply;
    ListPorts("COM1=" + supply.SlavePath().string());
    auto panel = ReadyPanel();
    panel->show();
    if (!panel->SearchSupply()) {
        std::printf("supply not found\n");
        return;
    }
    panel->findChild<QPushButton*>(QStringLiteral("IDC_ONOFF"))->click();
    std::vector<std::chrono::nanoseconds> overhead;
    for (int i = 0; i < kExchanges; ++i) {
        const auto start = Clock::now();
        panel->PollCurrents();
        overhead.push_back(Clock::now() - start - kHostWait);
        QCoreApplication::processEvents();
    }
    PrintDistribution("current exchange beyond the host wait", overhead);
}

// The supply listed after `others` entries; with `answering` they are devices that open and
// answer with another identity, else names of devices that do not exist.
void BenchSearch(int others, bool answering) {
    std::vector<std::unique_ptr<SimulatedSupply>> strangers;
    std::string entries;
    for (int i = 1; i <= others; ++i) {
        std::string device = "/nonexistent/ttyUSB" + std::to_string(i);
        if (answering) {
            SimConfig config;
            config.identitySuffix = "01";
            strangers.push_back(std::make_unique<SimulatedSupply>(config));
            device = strangers.back()->SlavePath().string();
        }
        entries += "COM" + std::to_string(i) + "=" + device + ",";
    }
    SimulatedSupply supply;
    entries += "COM" + std::to_string(others + 1) + "=" + supply.SlavePath().string();
    ListPorts(entries);

    const int opened = (answering ? others : 0) + 1;
    const auto prescribed = opened * (pelmora::timing::kSearchDelay + kHostWait);
    std::vector<std::chrono::nanoseconds> overhead;
    for (int run = 0; run < kSearchRuns; ++run) {
        auto panel = ReadyPanel();
        const auto start = Clock::now();
        const bool found = panel->SearchSupply();
        overhead.push_back(Clock::now() - start - prescribed);
        if (!found) {
            std::printf("supply not found\n");
            return;
        }
    }
    char label[96];
    std::snprintf(label, sizeof label, "search, supply behind %d %s", others,
                  answering ? "other devices" : "absent devices");
    PrintDistribution(label, overhead);
}

void BenchPortScan() {
    ::unsetenv(pelmora::kPortsVariable);
    std::vector<std::chrono::nanoseconds> times;
    std::size_t found = 0;
    for (int i = 0; i < 100; ++i) {
        const auto start = Clock::now();
        found = pelmora::ListSerialPorts().size();
        times.push_back(Clock::now() - start);
    }
    char label[96];
    std::snprintf(label, sizeof label, "scan of this machine's serial devices (%zu found)", found);
    PrintDistribution(label, times);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    InstallDialogFont();
    BenchCurrentExchange();
    for (const int others : {0, 9, 49, 98}) {
        BenchSearch(others, false);
    }
    for (const int others : {1, 4}) {
        BenchSearch(others, true);
    }
    BenchPortScan();
    return 0;
}
