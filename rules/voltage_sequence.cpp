#include "rules/voltage_sequence.h"

#include "link/command_input.h"
#include "link/escaped_bytes.h"
#include "link/typed_voltage.h"

#include <array>
#include <charconv>
#include <cmath>
#include <utility>

namespace pelmora {

namespace {

// What spreadsheets put before the text of a "CSV UTF-8" file.
constexpr std::string_view kByteOrderMark = "\xef\xbb\xbf";
constexpr char kCommentMark = '#';
constexpr char kFieldSeparator = ',';
constexpr char kLineEnd = '\n';
constexpr std::string_view kBlanks = " \t\r";
constexpr std::size_t kFieldCount = 3;
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {kDwellField, kPositiveField,
                                                                   kNegativeField};
// Enough for any double in its shortest form.
constexpr std::size_t kNumberTextCapacity = 32;
constexpr double kMillisecondsPerSecond = 1000.0;
constexpr double kMinDwellSeconds = static_cast<double>(kMinDwell.count()) / kMillisecondsPerSecond;
constexpr double kMaxDwellSeconds =
    static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(kMaxDwell).count());

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameLetters(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> SplitFields(std::string_view content) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = content.find(kFieldSeparator, start);
        fields.push_back(Trimmed(content.substr(start, comma - start)));
        if (comma == std::string_view::npos) {
            return fields;
        }
        start = comma + 1;
    }
}

// Only a line that names the fields is a header: anything else is read as a step, so that a
// mistyped first step is reported instead of being skipped.
bool IsHeader(const std::vector<std::string_view>& fields) {
    if (fields.size() != kFieldCount) {
        return false;
    }
    for (std::size_t i = 0; i < kFieldCount; ++i) {
        if (!SameLetters(fields[i], kFieldNames[i])) {
            return false;
        }
    }
    return true;
}

// A field can hold anything a file can: escape sequences that would work on the terminal, a NUL
// that would end a message early, a whole file's worth of bytes on one line.
SequenceProblem ProblemAt(SequenceProblemKind kind, std::size_t line, std::string_view field = {},
                          std::string_view text = {}, std::string limit = {}) {
    SequenceProblem problem;
    problem.kind = kind;
    problem.line = line;
    problem.field = field;
    problem.text = EscapeBytes(CutInput(text));
    problem.limit = std::move(limit);
    return problem;
}

class StepReader {
public:
    StepReader(std::string_view fileName, std::size_t line) : m_fileName(fileName), m_line(line) {}

    SequenceStep Read(const std::vector<std::string_view>& fields) const {
        if (fields.size() > kFieldCount) {
            Fail(SequenceProblemKind::ExtraFields, {}, std::to_string(fields.size()),
                 std::to_string(kFieldCount));
        }
        for (std::size_t i = 0; i < kFieldCount; ++i) {
            if (i >= fields.size() || fields[i].empty()) {
                Fail(SequenceProblemKind::MissingField, kFieldNames[i]);
            }
        }
        return {Dwell(fields[0]), Code(fields[1], Rail::Positive, kPositiveField),
                Code(fields[2], Rail::Negative, kNegativeField)};
    }

private:
    std::chrono::milliseconds Dwell(std::string_view text) const {
        double seconds = 0.0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
        if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(seconds)) {
            Fail(SequenceProblemKind::NotSeconds, kDwellField, text);
        }
        if (seconds < kMinDwellSeconds) {
            Fail(SequenceProblemKind::DwellTooShort, kDwellField, text,
                 SecondsText(kMinDwellSeconds));
        }
        if (seconds > kMaxDwellSeconds) {
            Fail(SequenceProblemKind::DwellTooLong, kDwellField, text,
                 SecondsText(kMaxDwellSeconds));
        }
        return std::chrono::milliseconds(std::llround(seconds * kMillisecondsPerSecond));
    }

    std::string Code(std::string_view text, Rail rail, std::string_view field) const {
        const auto code = VoltageCodeOf(text, rail);
        if (!code) {
            Fail(SequenceProblemKind::NoSuchVoltage, field, text, ValidSteps(rail));
        }
        return std::string(*code);
    }

    // The shortest text that reads back as the same number: "0.3".
    static std::string SecondsText(double seconds) {
        std::array<char, kNumberTextCapacity> text{};
        const auto result = std::to_chars(text.data(), text.data() + text.size(), seconds);
        return std::string(text.data(), result.ptr);
    }

    [[noreturn]] void Fail(SequenceProblemKind kind, std::string_view field = {},
                           std::string_view text = {}, std::string limit = {}) const {
        throw SequenceError(std::string(m_fileName),
                            ProblemAt(kind, m_line, field, text, std::move(limit)));
    }

    std::string_view m_fileName;
    std::size_t m_line;
};

std::string Message(const std::string& file, const SequenceProblem& problem) {
    std::string message = file;
    if (problem.line > 0) {
        message.append(":").append(std::to_string(problem.line));
    }
    if (!problem.field.empty()) {
        message.append(": ").append(problem.field);
    }
    return message.append(": ").append(SequenceProblemWords(problem));
}

} // namespace

SequenceError::SequenceError(std::string file, SequenceProblem problem)
    : std::runtime_error(Message(file, problem)), m_file(std::move(file)),
      m_problem(std::move(problem)) {}

std::vector<SequenceStep> ParseSequence(std::string_view text, std::string_view fileName) {
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::vector<SequenceStep> steps;
    bool firstContent = true;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        ++lineNumber;
        const std::size_t end = text.find(kLineEnd, start);
        std::string_view line = text.substr(start, end - start);
        start = end == std::string_view::npos ? text.size() : end + 1;

        line = Trimmed(line.substr(0, line.find(kCommentMark)));
        if (line.empty()) {
            continue;
        }
        const auto fields = SplitFields(line);
        if (std::exchange(firstContent, false) && IsHeader(fields)) {
            continue;
        }
        if (steps.size() == kMaxSequenceSteps) {
            throw SequenceError(std::string(fileName),
                                ProblemAt(SequenceProblemKind::TooManySteps, lineNumber, {}, {},
                                          std::to_string(kMaxSequenceSteps)));
        }
        steps.push_back(StepReader(fileName, lineNumber).Read(fields));
    }
    if (steps.empty()) {
        throw SequenceError(std::string(fileName), ProblemAt(SequenceProblemKind::NoSteps, 0));
    }
    return steps;
}

} // namespace pelmora
