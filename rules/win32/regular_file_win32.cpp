#include "link/system_error_text.h"
#include "rules/regular_file.h"

#include <algorithm>
#include <windows.h>

namespace pelmora {

namespace {

std::string LastErrorText() {
    return SystemErrorText(static_cast<int>(::GetLastError()));
}

} // namespace

struct RegularFile::Native {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

RegularFile::RegularFile(const std::filesystem::path& path) : m_native(std::make_unique<Native>()) {
    // A directory opens only with backup semantics; without them it would be refused as access
    // denied rather than as what it is.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        m_problem = LastErrorText();
        return;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        m_notRegular = FileType::Directory;
        return;
    }
    // Opening a pipe or a device does not wait here as it can on Linux, so what the handle
    // leads to is judged once it is open.
    const HANDLE handle =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        m_problem = LastErrorText();
        return;
    }
    m_native->handle = handle;
    const DWORD type = ::GetFileType(handle);
    LARGE_INTEGER size{};
    if (type != FILE_TYPE_DISK) {
        m_notRegular = type == FILE_TYPE_PIPE ? FileType::Pipe : FileType::Device;
        Close();
    } else if (!::GetFileSizeEx(handle, &size)) {
        m_problem = LastErrorText();
        Close();
    } else {
        m_size = static_cast<std::uintmax_t>(size.QuadPart);
    }
}

RegularFile::~RegularFile() {
    Close();
}

void RegularFile::Close() {
    if (m_native->handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(m_native->handle);
        m_native->handle = INVALID_HANDLE_VALUE;
    }
}

std::optional<std::size_t> RegularFile::Read(std::span<char> buffer) {
    if (m_native->handle == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), MAXDWORD));
    DWORD got = 0;
    if (!::ReadFile(m_native->handle, buffer.data(), wanted, &got, nullptr)) {
        m_problem = LastErrorText();
        return std::nullopt;
    }
    return got;
}

} // namespace pelmora
