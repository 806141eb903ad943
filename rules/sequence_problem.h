#pragma once

#include "rules/file_type.h"

#include <cstddef>
#include <string>

// What is wrong with a sequence file, piece by piece, so that each front end words it in its
// own language; SequenceProblemWords() gives the English that pelmora-cli prints.
namespace pelmora {

enum class SequenceProblemKind {
    // The file could not be read.
    // The path leads to `fileType`, which is no regular file.
    NotRegularFile,
    // Larger than `limit` bytes.
    TooLarge,
    // The system refused it: `text` holds the system's words.
    Unreadable,

    // Its text could not be read as a program.
    // `text` fields on a line where a step has `limit`.
    ExtraFields,
    // `field` is empty or not there.
    MissingField,
    // `text` in `field` is not a number of seconds.
    NotSeconds,
    // The dwell `text` is below `limit` seconds, one poll of the currents.
    DwellTooShort,
    // The dwell `text` is over `limit` seconds.
    DwellTooLong,
    // `text` is no voltage step of the rail whose field `field` is; `limit` lists the steps.
    NoSuchVoltage,
    // More than `limit` steps.
    TooManySteps,
    // No step at all.
    NoSteps,
};

struct SequenceProblem {
    SequenceProblemKind kind = SequenceProblemKind::NoSteps;
    // The line, from 1; 0 for a problem with the file as a whole.
    std::size_t line = 0;
    // The name of the field at fault (kDwellField...); empty when no one field is.
    std::string field;
    // What the file holds there, as printable ASCII with other bytes escaped ("\x1b") and cut
    // when long, so that it can be shown whole and on one line whatever the file holds.
    std::string text;
    // The bound that was crossed, or the values allowed, as messages show them ("0.3").
    std::string limit;
    FileType fileType = FileType::Special;
};

// The English words for the problem, without where it is: "'0.2999' is below 0.3 s, one poll
// of the currents", "a named pipe (FIFO), not a regular file".
std::string SequenceProblemWords(const SequenceProblem& problem);

} // namespace pelmora
