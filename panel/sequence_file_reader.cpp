#include "panel/sequence_file_reader.h"

#include <QMetaObject>
#include <filesystem>
#include <mutex>
#include <thread>
#include <utility>

struct CSequenceFileReader::Mailbox {
    std::mutex lock;
    // Null once the reader is gone.
    CSequenceFileReader* reader = nullptr;
};

CSequenceFileReader::CSequenceFileReader(QObject* parent)
    : QObject(parent), m_mailbox(std::make_shared<Mailbox>()) {
    m_mailbox->reader = this;
}

CSequenceFileReader::~CSequenceFileReader() {
    const std::lock_guard hold(m_mailbox->lock);
    m_mailbox->reader = nullptr;
}

void CSequenceFileReader::Start(const QString& path) {
    m_busy = true;
    std::thread([mailbox = m_mailbox, path] {
        auto read = pelmora::ReadSequenceFile(std::filesystem::path(path.toStdU16String()));
        // Posted while the reader is known to live; a reader deleted before the call is due
        // takes the call with it.
        const std::lock_guard hold(mailbox->lock);
        if (CSequenceFileReader* reader = mailbox->reader) {
            QMetaObject::invokeMethod(
                reader,
                [reader, path, read = std::move(read)] {
                    reader->m_busy = false;
                    emit reader->finished(path, read);
                },
                Qt::QueuedConnection);
        }
    }).detach();
}
