#include "model/ImportWords.h"

namespace strivo {

std::string ImportSummary(const MessageCatalog* catalog, const ImportCounts& counts) {
    const auto files = [catalog](int count) {
        return Fill(TrNIn(catalog, "{0} file", "{0} files", static_cast<unsigned long>(count)),
                    count);
    };
    // Said only where there are some: a summary of run files stays as it was.
    std::string more =
        counts.withoutActivity > 0
            ? Fill(TrIn(catalog, N_(", {0} with no activity")), files(counts.withoutActivity))
            : std::string();
    if (counts.notRuns > 0) {
        more += Fill(TrNIn(catalog, ", {0} activity not a run", ", {0} activities not runs",
                           static_cast<unsigned long>(counts.notRuns)),
                     counts.notRuns);
    }
    if (counts.caloriesFilled > 0) {
        more += Fill(TrNIn(catalog, ", calories added to {0} stored run",
                           ", calories added to {0} stored runs",
                           static_cast<unsigned long>(counts.caloriesFilled)),
                     counts.caloriesFilled);
    }
    const auto runs = static_cast<unsigned long>(counts.imported);
    const auto activities = static_cast<unsigned long>(counts.otherSports);
    return Fill(
        TrIn(catalog, N_("Imported {0} from {1}: {2} already stored, {3} unreadable, {4} "
                         "of other sports skipped{5}.")),
        Fill(TrNIn(catalog, "{0} run", "{0} runs", runs), counts.imported), files(counts.files),
        counts.duplicates, files(counts.unreadable),
        Fill(TrNIn(catalog, "{0} activity", "{0} activities", activities), counts.otherSports),
        more);
}

}  // namespace strivo
