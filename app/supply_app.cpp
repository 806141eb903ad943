#include "app/supply_app.h"

#include "app/command_line.h"
#include "app/quit_signals.h"
#include "panel/dialog_font.h"
#include "panel/resource.h"
#include "panel/supply_panel_dlg.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QUrl>

namespace {

// The name under which the framework would keep per-user settings. Nothing is ever stored
// under it.
constexpr const char* kSettingsKey =
    "アプリケーション ウィザードで生成されたローカル アプリケーション";
constexpr const char* kHelpPageRelativePath = "/../share/pelmora/help.html";
constexpr const char* kHelpFailedMessage = "Failed to launch help.";
// The path on a line of its own, whole, to be copied.
constexpr const char* kHelpPageIsMessage = "Open the help page in a web browser:\n%1";
constexpr const char* kHelpPageMissingMessage =
    "The help page is not installed; it belongs at:\n%1";
constexpr const char* kTranslationsDir = ":/pelmora/translations";
constexpr const char* kTranslationName = "pelmora";
// Qt's own texts: the buttons of its boxes, its file dialog. Debian's qt6-translations-l10n
// installs them where QLibraryInfo says.
constexpr const char* kQtTranslationName = "qtbase";

} // namespace

CSupplyApp::CSupplyApp(int& argc, char** argv) : QApplication(argc, argv) {
    installEventFilter(this);
}

void CSupplyApp::UseLanguage(const std::string& language) {
    removeTranslator(&m_translator);
    removeTranslator(&m_qtTranslator);
    const QString suffix = QLatin1Char('_') + QString::fromStdString(language);
    if (language == kEnglish && m_translator.load(QString::fromLatin1(kTranslationName) + suffix,
                                                  QString::fromLatin1(kTranslationsDir))) {
        installTranslator(&m_translator);
    }
    if (m_qtTranslator.load(QString::fromLatin1(kQtTranslationName) + suffix,
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(&m_qtTranslator);
    }
}

bool CSupplyApp::InitInstance() {
    InstallDialogFont();
    setOrganizationName(QString::fromUtf8(kSettingsKey));
    setApplicationVersion(QString::fromLatin1(kVersionText));

    CSupplyPanelDlg panel;
    QuitSignals quitSignals([&panel] { panel.close(); });
    panel.exec();
    return false;
}

QString CSupplyApp::HelpPagePath() {
    return QFileInfo(applicationDirPath() + QString::fromLatin1(kHelpPageRelativePath))
        .absoluteFilePath();
}

void CSupplyApp::OnHelp() {
    const QString page = HelpPagePath();
    const bool installed = QFileInfo::exists(page);
    if (installed && QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        return;
    }
    // Without a browser to start, the user can still read the page: say where it is.
    const QString where =
        QString::fromLatin1(installed ? kHelpPageIsMessage : kHelpPageMissingMessage).arg(page);
    QMessageBox failed(QMessageBox::Warning, applicationName(),
                       QString::fromLatin1(kHelpFailedMessage) + QLatin1Char('\n') + where,
                       QMessageBox::Ok, activeWindow());
    // Modal to the window F1 was pressed in: a running sequence's window beside the panel stays
    // free.
    failed.setWindowModality(Qt::WindowModal);
    failed.exec();
}

bool CSupplyApp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            OnHelp();
            return true;
        }
    }
    return QApplication::eventFilter(watched, event);
}
