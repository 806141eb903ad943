#pragma once

#include "rules/sequence_problem.h"

#include <QString>

// What is wrong with the sequence file `fileName`, in the panel's language, with where it is:
// "ramp.csv の 2 行目、dwell_s: 「0.1」は 0.3 秒より短くできません…"; in English the words
// pelmora-cli prints.
QString SequenceProblemText(const QString& fileName, const pelmora::SequenceProblem& problem);
