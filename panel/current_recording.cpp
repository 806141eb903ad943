#include "panel/current_recording.h"

bool CCurrentRecording::Start(const QString& path, QString& problem) {
    Stop();
    m_file.setFileName(path);
    // Unbuffered: each row goes to the system at once, and an error shows on the row itself.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        problem = m_file.errorString();
        return false;
    }
    m_started = std::chrono::steady_clock::now();
    return WriteLine(std::string(pelmora::kCurrentRecordHeader), problem);
}

bool CCurrentRecording::Write(const std::optional<pelmora::protocol::CurrentReading>& reading,
                              const pelmora::protocol::CurrentReading& average, QString& problem) {
    if (!IsRecording()) {
        return true;
    }
    pelmora::CurrentRecord record;
    record.time = std::chrono::system_clock::now();
    record.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - m_started);
    record.reading = reading;
    record.average = average;
    return WriteLine(pelmora::FormatCurrentRecord(record), problem);
}

bool CCurrentRecording::WriteLine(std::string line, QString& problem) {
    line += '\n';
    const auto size = static_cast<qint64>(line.size());
    if (m_file.write(line.data(), size) != size) {
        problem = m_file.errorString();
        Stop();
        return false;
    }
    return true;
}

void CCurrentRecording::Stop() {
    m_file.close();
}
