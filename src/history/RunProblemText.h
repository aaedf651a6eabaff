#pragma once

// TEMPORARY, for the lead to replace with the one catalogue (model/ProblemWords):
// the English sentence that RunProblem::what held before a run's problems
// became codes, so that `strivo-cli` prints (and TrReason translates) them
// byte for byte as before until the catalogue renders RunProblem::problem.

#include <string>

#include "history/RunFigures.h"

namespace strivo {

// "start \"yesterday\" does not parse, left out"
std::string RunProblemEnglish(const RunProblem& problem);

}  // namespace strivo
