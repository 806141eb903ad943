#pragma once

#include "rules/sequence_file.h"

#include <QObject>
#include <QString>
#include <memory>

// Reads a sequence file on a thread of its own, so that no file, however slow its file system,
// holds up the polls of the UI thread or a request to close. The outcome comes back on the UI
// thread. A reader destroyed first leaves its thread to end alone: the outcome then goes
// nowhere, and nothing waits for a read that may never end. The thread holds nothing of the
// reader's but the mailbox they share.
class CSequenceFileReader : public QObject {
    Q_OBJECT

public:
    explicit CSequenceFileReader(QObject* parent = nullptr);
    ~CSequenceFileReader() override;

    // Starts reading the file at `path`; finished() tells what was read.
    void Start(const QString& path);
    // A read is under way and its outcome has not yet been handed on.
    bool Busy() const { return m_busy; }

signals:
    void finished(const QString& path, const pelmora::SequenceFileText& read);

private:
    // Where the thread leaves its outcome; shared with it, so that it outlives the reader.
    struct Mailbox;

    std::shared_ptr<Mailbox> m_mailbox;
    bool m_busy = false;
};
