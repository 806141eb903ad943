#pragma once

#include "rules/sequence_problem.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

// Reading a voltage sequence file (see voltage_sequence.h) for any front end. A program is a
// few lines a step, so a file far larger than any program is refused before it is read: it is
// the wrong file, and reading it whole could take the machine's memory.
namespace pelmora {

// 1 MiB: the most steps a program holds (kMaxSequenceSteps) fit in it as lines such as
// "0.5,5,-12", and no program written by hand or by a spreadsheet comes near it.
inline constexpr std::size_t kMaxSequenceFileBytes = std::size_t{1} << 20;

struct SequenceFileText {
    // The file's bytes as they are; empty when it could not be read.
    std::string text;
    // Why it could not be read (NotRegularFile, TooLarge or Unreadable); empty when it was read.
    // Its words follow "cannot read FILE: ".
    std::optional<SequenceProblem> problem;
};

// The whole text of a regular file of at most kMaxSequenceFileBytes. Named pipes, devices and
// directories are refused without waiting on them.
SequenceFileText ReadSequenceFile(const std::filesystem::path& file);

} // namespace pelmora
