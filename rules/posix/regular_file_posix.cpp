#include "link/system_error_text.h"
#include "rules/regular_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelmora {

namespace {

constexpr int kNoDescriptor = -1;

FileType TypeOf(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return FileType::NamedPipe;
    }
    if (S_ISCHR(mode)) {
        return FileType::CharacterDevice;
    }
    if (S_ISBLK(mode)) {
        return FileType::BlockDevice;
    }
    if (S_ISDIR(mode)) {
        return FileType::Directory;
    }
    if (S_ISSOCK(mode)) {
        return FileType::Socket;
    }
    return FileType::Special;
}

} // namespace

struct RegularFile::Native {
    int fd = kNoDescriptor;
};

RegularFile::RegularFile(const std::filesystem::path& path) : m_native(std::make_unique<Native>()) {
    // Looked at before it is opened, as opening a device can act on it.
    struct stat node {};
    if (::stat(path.c_str(), &node) != 0) {
        m_problem = SystemErrorText(errno);
        return;
    }
    if (!S_ISREG(node.st_mode)) {
        m_notRegular = TypeOf(node.st_mode);
        return;
    }
    // A named pipe put in its place since would hold a plain open until a writer came; to a
    // regular file's reads, O_NONBLOCK means nothing.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_problem = SystemErrorText(errno);
        return;
    }
    m_native->fd = fd;
    if (::fstat(fd, &node) != 0) {
        m_problem = SystemErrorText(errno);
        Close();
    } else if (!S_ISREG(node.st_mode)) {
        m_notRegular = TypeOf(node.st_mode);
        Close();
    } else {
        m_size = static_cast<std::uintmax_t>(node.st_size);
    }
}

RegularFile::~RegularFile() {
    Close();
}

void RegularFile::Close() {
    if (m_native->fd != kNoDescriptor) {
        ::close(m_native->fd);
        m_native->fd = kNoDescriptor;
    }
}

std::optional<std::size_t> RegularFile::Read(std::span<char> buffer) {
    if (m_native->fd == kNoDescriptor) {
        return std::nullopt;
    }
    for (;;) {
        const ssize_t got = ::read(m_native->fd, buffer.data(), buffer.size());
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            m_problem = SystemErrorText(errno);
            return std::nullopt;
        }
    }
}

} // namespace pelmora
