#include "rules/sequence_problem.h"

#include "rules/voltage_sequence.h"

namespace pelmora {

namespace {

std::string Quoted(const std::string& text) {
    // Built by appending: g++ 12 warns falsely (-Wrestrict) on a literal + a temporary string.
    std::string quoted(1, '\'');
    quoted.append(text).push_back('\'');
    return quoted;
}

std::string FieldList() {
    return std::string(kDwellField) + "," + std::string(kPositiveField) + "," +
           std::string(kNegativeField);
}

const char* FileTypeWords(FileType type) {
    switch (type) {
    case FileType::Directory:
        return "a directory";
    case FileType::NamedPipe:
        return "a named pipe (FIFO)";
    case FileType::CharacterDevice:
        return "a character device";
    case FileType::BlockDevice:
        return "a block device";
    case FileType::Socket:
        return "a socket";
    case FileType::Special:
        return "a special file";
    case FileType::Pipe:
        return "a pipe";
    case FileType::Device:
        return "a device";
    }
    return "a special file";
}

} // namespace

std::string SequenceProblemWords(const SequenceProblem& problem) {
    switch (problem.kind) {
    case SequenceProblemKind::NotRegularFile:
        return std::string(FileTypeWords(problem.fileType)) + ", not a regular file";
    case SequenceProblemKind::TooLarge:
        return "larger than " + problem.limit + " bytes, the most a sequence file may hold";
    case SequenceProblemKind::Unreadable:
        return problem.text;
    case SequenceProblemKind::ExtraFields:
        return problem.text + " fields where a step has " + problem.limit + ": " + FieldList();
    case SequenceProblemKind::MissingField:
        return "missing; a step is " + FieldList();
    case SequenceProblemKind::NotSeconds:
        return Quoted(problem.text) + " is not a number of seconds";
    case SequenceProblemKind::DwellTooShort:
        return Quoted(problem.text) + " is below " + problem.limit + " s, one poll of the currents";
    case SequenceProblemKind::DwellTooLong:
        return Quoted(problem.text) + " is over " + problem.limit + " s; repeat the step instead";
    case SequenceProblemKind::NoSuchVoltage:
        return Quoted(problem.text) + " is no step of the " +
               (problem.field == kNegativeField ? "negative" : "positive") +
               " rail; valid steps: " + problem.limit;
    case SequenceProblemKind::TooManySteps:
        return "more than " + problem.limit + " steps, the most a program may hold";
    case SequenceProblemKind::NoSteps:
        return "holds no steps";
    }
    return {};
}

} // namespace pelmora
