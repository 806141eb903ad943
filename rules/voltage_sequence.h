#pragma once

#include "link/supply_timing.h"
#include "rules/sequence_problem.h"

#include <chrono>
#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A voltage sequence: steps of both rails' voltages, each held for its dwell time. The file
// is CSV, one step a line: "dwell_s,pos_v,neg_v", e.g. "1.5,5,-12". Blank lines, "#" comments
// and a first line naming the fields are allowed; voltages are typed as on the command line.
namespace pelmora {

// A step lasts at least one poll of the currents, so that every step is seen.
inline constexpr std::chrono::milliseconds kMinDwell = timing::kPollPeriod;
// Keeps the schedule's sums far from overflowing; longer holds are repeated steps.
inline constexpr std::chrono::hours kMaxDwell{24};

// Far beyond any real program, and a bound on what a wrong file can make the parser keep.
inline constexpr std::size_t kMaxSequenceSteps = 100'000;

inline constexpr std::string_view kDwellField = "dwell_s";
inline constexpr std::string_view kPositiveField = "pos_v";
inline constexpr std::string_view kNegativeField = "neg_v";

struct SequenceStep {
    std::chrono::milliseconds dwell;
    std::string positiveCode;
    std::string negativeCode;

    bool operator==(const SequenceStep&) const = default;
};

// A sequence that cannot be run. what() is the whole message in English: "ramp.csv:4: dwell_s:
// '0.1' is below 0.3 s, one poll of the currents"; Problem() holds it piece by piece. A problem
// with the file as a whole has line 0 and no field.
class SequenceError : public std::runtime_error {
public:
    SequenceError(std::string file, SequenceProblem problem);

    const std::string& File() const { return m_file; }
    std::size_t Line() const { return m_problem.line; }
    const std::string& Field() const { return m_problem.field; }
    const SequenceProblem& Problem() const { return m_problem; }

private:
    std::string m_file;
    SequenceProblem m_problem;
};

// Every step of a sequence file's text, checked whole before any of it is used; `fileName`
// names the file in messages. A UTF-8 byte-order mark before the text, as spreadsheets write
// one, is passed over. Throws SequenceError at the first problem.
std::vector<SequenceStep> ParseSequence(std::string_view text, std::string_view fileName);

} // namespace pelmora
