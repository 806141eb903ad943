#pragma once

#include <QApplication>

// The application object: runs the panel modally and ends when the panel ends. It is named
// after its executable, and that name titles every message box. It reads no command line of
// its own and keeps no settings.
class CSupplyApp : public QApplication {
    Q_OBJECT

public:
    CSupplyApp(int& argc, char** argv);

    // Runs the panel's whole life; always false, as nothing runs after the panel.
    bool InitInstance();
    // Opens the help page in the desktop's browser.
    void OnHelp();

    // Where the help page is installed beside the program.
    static QString HelpPagePath();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
