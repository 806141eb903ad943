#pragma once

#include "rules/file_type.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace pelmora {

// A file opened for reading only when it is a regular file. Anything else is refused before it
// is read, and where the system tells beforehand (Linux) before it is opened: opening a named
// pipe waits for a writer that may never come, opening a device can act on it (a serial port's
// modem lines change), and a device such as /dev/zero never ends.
class RegularFile {
public:
    explicit RegularFile(const std::filesystem::path& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // What the path leads to, when the file is not open because that is no regular file.
    const std::optional<FileType>& NotRegular() const { return m_notRegular; }
    // The system's words for why the file could not be opened or the last read failed, e.g. "No
    // such file or directory"; empty while all is well.
    const std::string& SystemProblem() const { return m_problem; }
    // Its size when it was opened; it may have changed since.
    std::uintmax_t Size() const { return m_size; }
    // The number of bytes put at the start of `buffer`, 0 at the end of the file; empty when
    // reading failed, and Problem() tells why.
    std::optional<std::size_t> Read(std::span<char> buffer);

private:
    // The platform's descriptor or handle; each backend defines it, so that this header names no
    // system type.
    struct Native;

    void Close();

    std::unique_ptr<Native> m_native;
    std::optional<FileType> m_notRegular;
    std::string m_problem;
    std::uintmax_t m_size = 0;
};

} // namespace pelmora
