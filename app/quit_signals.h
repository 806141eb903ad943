#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a call on the UI thread. The handler itself only
// writes a byte to a pipe, the one thing that is safe inside it; the rest happens when the
// event loop reads that byte.
class QuitSignals : public QObject {
    Q_OBJECT

public:
    explicit QuitSignals(std::function<void()> onQuit, QObject* parent = nullptr);
    ~QuitSignals() override;

private:
    void Drain();

    std::function<void()> m_onQuit;
    QSocketNotifier* m_notifier = nullptr;
};
