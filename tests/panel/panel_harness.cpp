#include "tests/panel/panel_harness.h"

#include "app/supply_app.h"
#include "panel/supply_panel_dlg.h"
#include "tests/panel/input_events.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPixmap>
#include <QTimer>

namespace {

// Centre of the 25 x 25 lamp drawn at (110, 165).
constexpr QPoint kLampCentre{110 + 12, 165 + 12};

} // namespace

void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

constexpr int kShownCheckMs = 10;

// Start-up runs modal boxes of its own before the panel is shown; the test starts after it.
void WhenShown(CSupplyPanelDlg& panel, const std::function<void()>& whileRunning) {
    QTimer::singleShot(kShownCheckMs, &panel, [&panel, &whileRunning] {
        if (!panel.isVisible()) {
            WhenShown(panel, whileRunning);
            return;
        }
        whileRunning();
        panel.close();
    });
}

} // namespace

void RunPanel(CSupplyPanelDlg& panel, const std::function<void()>& whileRunning) {
    WhenShown(panel, whileRunning);
    panel.exec();
}

bool ProcessEventsUntil(const std::function<bool()>& condition, int boundMs) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > boundMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void ProcessEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

std::vector<std::string> Commands(const pelmora::sim::SimulatedSupply& supply) {
    std::vector<std::string> commands;
    for (const auto& logged : supply.Log()) {
        commands.push_back(logged.bytes);
    }
    return commands;
}

int CountCommand(const pelmora::sim::SimulatedSupply& supply, const std::string& command) {
    int count = 0;
    for (const auto& logged : supply.Log()) {
        count += logged.bytes == command ? 1 : 0;
    }
    return count;
}

std::string LastSetting(const pelmora::sim::SimulatedSupply& supply) {
    const auto commands = Commands(supply);
    for (auto it = commands.rbegin(); it != commands.rend(); ++it) {
        if (*it != "REQA\r") {
            return *it;
        }
    }
    return {};
}

QString ControlText(CSupplyPanelDlg& panel, const char* objectName) {
    auto* edit = panel.findChild<QLineEdit*>(QString::fromLatin1(objectName));
    return edit ? edit->text() : QString();
}

QRgb LampCentre(CSupplyPanelDlg& panel) {
    return panel.grab().toImage().pixel(kLampCentre) & RGB_MASK;
}

QStringList ChooseFromContextMenu(CSupplyPanelDlg& panel, const QString& entry, MenuKey key) {
    QStringList offered;
    // Answered from inside the menu's own loop, once it is up.
    QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            return;
        }
        QAction* chosen = nullptr;
        for (auto* action : menu->actions()) {
            if (action->isSeparator()) {
                continue;
            }
            offered << action->text() +
                           (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
            if (action->text() == entry && action->isEnabled()) {
                chosen = action;
            }
        }
        menu->close();
        if (chosen) {
            chosen->trigger();
        }
    });
    if (key == MenuKey::Menu) {
        MenuKeyPress(&panel);
    } else {
        Key(&panel, Qt::Key_F10, Qt::ShiftModifier);
    }
    return offered;
}

InEnglish::InEnglish() {
    static_cast<CSupplyApp*>(qApp)->UseLanguage("en");
}

InEnglish::~InEnglish() {
    static_cast<CSupplyApp*>(qApp)->UseLanguage("ja");
}

SupplyOnCom3::SupplyOnCom3(pelmora::sim::SimConfig config)
    : supply(std::move(config)), listed("COM3=" + supply.SlavePath().string()) {}
