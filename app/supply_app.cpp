#include "supply_app.h"

#include "command_line.h"
#include "dialog_font.h"
#include "quit_signals.h"
#include "resource.h"
#include "supply_panel_dlg.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QUrl>

namespace {

// The name under which the framework would keep per-user settings. Nothing is ever stored
// under it.
constexpr const char* kSettingsKey =
    "アプリケーション ウィザードで生成されたローカル アプリケーション";
constexpr const char* kHelpPageRelativePath = "/../share/pelmora/help.html";
constexpr const char* kHelpFailedMessage = "Failed to launch help.";
constexpr const char* kTranslationsDir = ":/pelmora/translations";
constexpr const char* kTranslationName = "pelmora";

} // namespace

CSupplyApp::CSupplyApp(int& argc, char** argv) : QApplication(argc, argv) {
    installEventFilter(this);
}

void CSupplyApp::UseLanguage(const std::string& language) {
    removeTranslator(&m_translator);
    if (language == kEnglish &&
        m_translator.load(QString::fromLatin1(kTranslationName) + QLatin1Char('_') +
                              QString::fromStdString(language),
                          QString::fromLatin1(kTranslationsDir))) {
        installTranslator(&m_translator);
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
    if (QFileInfo::exists(page) && QDesktopServices::openUrl(QUrl::fromLocalFile(page))) {
        return;
    }
    QMessageBox failed(QMessageBox::Warning, applicationName(),
                       QString::fromLatin1(kHelpFailedMessage), QMessageBox::Ok, activeWindow());
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
