// Shows the panel and the About box as the program builds them, with filled voltage lists, sample
// currents and the lamp where the panel paints it, and saves what the screen shows into the
// directory named by the only argument: panel.png, panel-list.png (the positive list opened),
// about.png and, on a screen that can be read back, screen.png.
#include "link/voltage_table.h"
#include "panel/dialog_font.h"
#include "panel/dialog_frame.h"
#include "panel/resource.h"
#include "ui_about.h"
#include "ui_panel.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <cstdio>

namespace {

// Where the panel paints its lamp, in pixels.
constexpr QPoint kLampPosition{110, 165};
// Long enough for a window system without a window manager to map and paint the windows.
constexpr int kSettleMs = 500;

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void Settle() {
    QEventLoop loop;
    QTimer::singleShot(kSettleMs, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Save(const QImage& image, const QDir& dir, const char* name) {
    if (image.save(dir.filePath(QString::fromLatin1(name)))) {
        return true;
    }
    std::fprintf(stderr, "preview_forms: cannot write %s\n", name);
    return false;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: preview_forms <output directory>\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    InstallDialogFont();

    QDialog panel;
    Ui::IDD_PANEL panelUi;
    panelUi.setupUi(&panel);
    ApplyDialogFrame(panel);
    panel.setWindowIcon(LoadAppIcon());
    for (const pelmora::VoltageStep& step : pelmora::kVoltageSteps) {
        panelUi.IDC_POS_VOLTAGE->addItem(FromView(step.positiveText));
        panelUi.IDC_NEG_VOLTAGE->addItem(FromView(step.negativeText));
    }
    panelUi.IDC_NEG_VOLTAGE->setCurrentIndex(1);
    panelUi.IDC_POS_CURRENT->setText(QStringLiteral("128"));
    panelUi.IDC_NEG_CURRENT->setText(QStringLiteral("64"));
    panel.move(20, 20);
    panel.show();
    Settle();

    QImage panelShot = panel.grab().toImage();
    {
        QPainter painter(&panelShot);
        painter.drawPixmap(kLampPosition, LoadBitmapResource(IDB_LAMP_OFF));
    }
    bool saved = Save(panelShot, dir, "panel.png");

    panelUi.IDC_POS_VOLTAGE->showPopup();
    Settle();
    QWidget* list = panelUi.IDC_POS_VOLTAGE->view()->window();
    std::printf("opened list: %d x %d pixels for %d entries, room for up to %d\n", list->width(),
                list->height(), panelUi.IDC_POS_VOLTAGE->count(),
                panelUi.IDC_POS_VOLTAGE->maxVisibleItems());
    saved = Save(list->grab().toImage(), dir, "panel-list.png") && saved;
    if (QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
        const QPixmap whole = screen->grabWindow(0);
        if (!whole.isNull()) {
            saved = Save(whole.toImage(), dir, "screen.png") && saved;
        }
    }
    panelUi.IDC_POS_VOLTAGE->hidePopup();

    QDialog about(&panel);
    Ui::IDD_ABOUTBOX aboutUi;
    aboutUi.setupUi(&about);
    ApplyDialogFrame(about);
    about.show();
    Settle();
    saved = Save(about.grab().toImage(), dir, "about.png") && saved;
    return saved ? 0 : 1;
}
