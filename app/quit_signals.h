#pragma once

#include <QObject>
#include <functional>

// Turns the system's requests to end the program into a call on the UI thread, so that the
// panel closes as its close box would have it: SIGTERM, SIGINT and SIGHUP on Linux; Ctrl+C,
// Ctrl+Break and the closing of the console it was started from on Windows. One per process.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> m_onQuit;
};
