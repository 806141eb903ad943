#include "rules/sequence_file.h"

#include "rules/regular_file.h"

#include <array>

namespace pelmora {

namespace {

constexpr std::size_t kChunkBytes = 16 * 1024;

SequenceFileText TooLarge() {
    return {{},
            "larger than " + std::to_string(kMaxSequenceFileBytes) +
                " bytes, the most a sequence file may hold"};
}

} // namespace

SequenceFileText ReadSequenceFile(const std::filesystem::path& file) {
    RegularFile opened(file);
    if (!opened.Problem().empty()) {
        return {{}, opened.Problem()};
    }
    if (opened.Size() > kMaxSequenceFileBytes) {
        return TooLarge();
    }
    SequenceFileText read;
    std::array<char, kChunkBytes> chunk{};
    for (;;) {
        const auto got = opened.Read(chunk);
        if (!got) {
            return {{}, opened.Problem()};
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
