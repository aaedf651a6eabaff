// TEMPORARY: see RunProblemText.h.
#include "history/RunProblemText.h"

namespace strivo {

std::string RunProblemEnglish(const RunProblem& problem) {
    const Problem& p = problem.problem;
    const std::string quoted = "\"" + p.Value(p.values.size() > 1 ? 1 : 0) + "\"";
    switch (p.code) {
        case ProblemCode::StartUnparsedLeftOut:
            return "start " + quoted + " does not parse, left out";
        case ProblemCode::StartUnparsedNotCounted:
            return "start " + quoted + " does not parse, not counted";
        case ProblemCode::ValueUnparsedWrittenAsZero:
            return p.Value(0) + " " + quoted + " does not parse, written as 0";
        case ProblemCode::CaloriesOutOfRange:
            return "calories " + quoted + " is outside 0..65535, written as 0";
        case ProblemCode::StartSecondTaken:
            return "starts in the same second as another run, Id moved to " + p.Value(0);
        case ProblemCode::ValueNotCounted:
            return p.Value(0) + " " + quoted + " not counted: does not parse";
        case ProblemCode::ValueImplausible:
            return p.Value(0) + " " + quoted + " is beyond a plausible run, not counted";
        case ProblemCode::RunOutsideYearsLeftOut:
            return "start " + quoted +
                   " puts the run outside the years 0001 to 9999 (UTC), left out";
        default:
            return p.Value(0);
    }
}

}  // namespace strivo
