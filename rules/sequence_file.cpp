#include "rules/sequence_file.h"

#include "rules/regular_file.h"

#include <array>

namespace pelmora {

namespace {

constexpr std::size_t kChunkBytes = 16 * 1024;

SequenceFileText Refused(SequenceProblemKind kind) {
    SequenceFileText refused;
    refused.problem.emplace().kind = kind;
    return refused;
}

SequenceFileText NotRegular(FileType type) {
    auto refused = Refused(SequenceProblemKind::NotRegularFile);
    refused.problem->fileType = type;
    return refused;
}

SequenceFileText TooLarge() {
    auto refused = Refused(SequenceProblemKind::TooLarge);
    refused.problem->limit = std::to_string(kMaxSequenceFileBytes);
    return refused;
}

SequenceFileText Unreadable(const RegularFile& file) {
    auto refused = Refused(SequenceProblemKind::Unreadable);
    refused.problem->text = file.SystemProblem();
    return refused;
}

} // namespace

SequenceFileText ReadSequenceFile(const std::filesystem::path& file) {
    RegularFile opened(file);
    if (const auto type = opened.NotRegular()) {
        return NotRegular(*type);
    }
    if (!opened.SystemProblem().empty()) {
        return Unreadable(opened);
    }
    if (opened.Size() > kMaxSequenceFileBytes) {
        return TooLarge();
    }
    SequenceFileText read;
    std::array<char, kChunkBytes> chunk{};
    for (;;) {
        const auto got = opened.Read(chunk);
        if (!got) {
            return Unreadable(opened);
        }
        if (*got == 0) {
            return read;
        }
        // The file can grow after its size was taken.
        if (read.text.size() + *got > kMaxSequenceFileBytes) {
            return TooLarge();
        }
        read.text.append(chunk.data(), *got);
    }
}

} // namespace pelmora
