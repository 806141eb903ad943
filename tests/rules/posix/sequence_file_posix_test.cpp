#include "rules/sequence_file.h"

#include <array>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

TEST(SequenceFileOnPosix, ANamedPipeIsRefusedWithoutBeingOpened) {
    // Opened for reading, a pipe without a writer would hold the program for good.
    const fs::path dir =
        fs::temp_directory_path() / ("pelmora-sequence-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path pipe = dir / "ramp.csv";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    // A link is judged by what it leads to.
    const fs::path named = dir / "named.csv";
    fs::create_symlink(pipe, named);
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, pipe.c_str(), IN_OPEN), 0);
    std::array<char, 1024> events{};

    for (const fs::path& path : {pipe, named}) {
        const auto read = ReadSequenceFile(path);
        ASSERT_TRUE(read.problem) << path;
        EXPECT_EQ(read.problem->fileType, FileType::NamedPipe) << path;
        EXPECT_EQ(SequenceProblemWords(*read.problem), "a named pipe (FIFO), not a regular file");
        EXPECT_EQ(read.text, "");
    }
    EXPECT_LT(::read(watch, events.data(), events.size()), 0) << "the pipe was opened";

    // The watch does see an open.
    ::close(::open(pipe.c_str(), O_RDWR | O_NONBLOCK));
    EXPECT_GT(::read(watch, events.data(), events.size()), 0);
    ::close(watch);
    fs::remove_all(dir);
}

TEST(SequenceFileOnPosix, ADeviceIsRefusedEvenOneThatNeverEnds) {
    const auto zero = ReadSequenceFile("/dev/zero");
    ASSERT_TRUE(zero.problem);
    EXPECT_EQ(SequenceProblemWords(*zero.problem), "a character device, not a regular file");
    EXPECT_EQ(zero.text, "");
}

} // namespace
