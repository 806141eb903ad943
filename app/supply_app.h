#pragma once

#include <QApplication>
#include <QTranslator>
#include <string>

// The application object: runs the panel modally and ends when the panel ends. It is named
// after its executable, and that name titles every message box. It keeps no settings.
class CSupplyApp : public QApplication {
    Q_OBJECT

public:
    CSupplyApp(int& argc, char** argv);

    // The panel's texts in this language: "en" for English; Japanese, the texts of the forms and
    // the code, otherwise. Qt's own texts (its buttons, its file dialog) follow, where Qt's
    // translations are installed.
    void UseLanguage(const std::string& language);
    // Runs the panel's whole life; always false, as nothing runs after the panel.
    bool InitInstance();
    // Opens the help page in the desktop's browser; when it cannot, says where the page is, or
    // that it is not installed.
    void OnHelp();

    // Where the help page is installed beside the program.
    static QString HelpPagePath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTranslator m_translator;
    QTranslator m_qtTranslator;
};
