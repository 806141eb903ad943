#pragma once

#include <QObject>
#include <functional>

// Turns the system's requests to end the program into a call on the UI thread, so that the
// panel closes as its close box would have it: on Linux every signal that would end the process
// without a core dump (SIGTERM, SIGINT, SIGHUP, SIGUSR1 and the like), while a closed pipe
// no longer ends it at all; Ctrl+C, Ctrl+Break and the closing of the console it was started
// from on Windows. One per process.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    std::function<void()> m_onQuit;
};
