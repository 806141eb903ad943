#pragma once

#include "rules/current_record.h"

#include <QFile>
#include <QString>
#include <chrono>

// A recording of the panel's readings in a CSV file: the header, then one row per poll, each
// handed to the system as it is taken, whole, so that the file holds complete rows whenever the
// panel ends.
class CCurrentRecording {
public:
    // Creates or empties the file and writes the header. False, with the reason, when the file
    // cannot be written.
    bool Start(const QString& path, QString& problem);
    // A poll taken now; the time since the start is worked out here. False, with the reason,
    // when the row could not be written: the recording has then ended.
    bool Write(const std::optional<pelmora::protocol::CurrentReading>& reading,
               const pelmora::protocol::CurrentReading& average, QString& problem);
    void Stop();

    bool IsRecording() const { return m_file.isOpen(); }
    QString Path() const { return m_file.fileName(); }

private:
    bool WriteLine(std::string line, QString& problem);

    QFile m_file;
    std::chrono::steady_clock::time_point m_started;
};
