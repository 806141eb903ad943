#include "rules/sequence_file.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

using namespace pelmora;
namespace fs = std::filesystem;

namespace {

const std::string kTooLarge = "larger than 1048576 bytes, the most a sequence file may hold";

std::string Words(const SequenceFileText& read) {
    return read.problem ? SequenceProblemWords(*read.problem) : std::string();
}

// A directory of the test's own, named at random, as the tests of several builds can run at once.
class SequenceFileTest : public ::testing::Test {
protected:
    SequenceFileTest()
        : m_dir(fs::temp_directory_path() /
                ("pelmora-sequence-file-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(m_dir);
    }
    ~SequenceFileTest() override { fs::remove_all(m_dir); }

    fs::path Write(const std::string& name, const std::string& bytes) const {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path m_dir;
};

TEST_F(SequenceFileTest, ARegularFileIsReadWholeByteForByte) {
    // Longer than one read, with what a text mode would change or a C string would end at.
    std::string bytes = "\xef\xbb\xbf"
                        "dwell_s,pos_v,neg_v\r\n";
    bytes += std::string(1, '\0') + "\x1a\r\n";
    while (bytes.size() < 100'000) {
        bytes += "0.5,5,-12\r\n";
    }
    const auto read = ReadSequenceFile(Write("ramp.csv", bytes));
    EXPECT_FALSE(read.problem);
    EXPECT_EQ(read.text, bytes);

    const auto empty = ReadSequenceFile(Write("empty.csv", ""));
    EXPECT_FALSE(empty.problem);
    EXPECT_EQ(empty.text, "");
}

TEST_F(SequenceFileTest, AFileOverTheLimitIsRefusedWithTheLimit) {
    const std::string limit(kMaxSequenceFileBytes, '#');
    const auto atLimit = ReadSequenceFile(Write("at-limit.csv", limit));
    EXPECT_FALSE(atLimit.problem);
    EXPECT_EQ(atLimit.text.size(), kMaxSequenceFileBytes);

    const auto over = ReadSequenceFile(Write("over.csv", limit + "#"));
    EXPECT_EQ(Words(over), kTooLarge);
    ASSERT_TRUE(over.problem);
    EXPECT_EQ(over.problem->kind, SequenceProblemKind::TooLarge);
    EXPECT_EQ(over.problem->limit, "1048576");
    EXPECT_EQ(over.text, "");
}

TEST_F(SequenceFileTest, ADirectoryOrAMissingFileIsRefusedWithItsReason) {
    const auto directory = ReadSequenceFile(m_dir);
    EXPECT_EQ(Words(directory), "a directory, not a regular file");
    ASSERT_TRUE(directory.problem);
    EXPECT_EQ(directory.problem->kind, SequenceProblemKind::NotRegularFile);
    EXPECT_EQ(directory.problem->fileType, FileType::Directory);
    EXPECT_EQ(directory.text, "");
    const auto missing = ReadSequenceFile(m_dir / "missing.csv");
    ASSERT_TRUE(missing.problem);
    EXPECT_EQ(missing.problem->kind, SequenceProblemKind::Unreadable);
    EXPECT_NE(Words(missing), "");
    EXPECT_EQ(missing.text, "");
}

} // namespace
