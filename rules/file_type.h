#pragma once

// What a path leads to when it is not a regular file, as far as the system tells it.
namespace pelmora {

enum class FileType {
    Directory,
    // A FIFO in the file system.
    NamedPipe,
    CharacterDevice,
    BlockDevice,
    Socket,
    // Anything else a POSIX system names.
    Special,
    // Windows tells a pipe and a device only by the handle, without their kind.
    Pipe,
    Device,
};

} // namespace pelmora
