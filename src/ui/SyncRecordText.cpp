#include "ui/SyncRecordText.h"

#include "io/TimeText.h"
#include "jobs/Manners.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {

std::string SyncRecordText(const std::vector<SyncRecord>& syncs) {
    if (syncs.empty()) {
        return Utf8ToCp936(Zh(N_("No sync yet")));
    }
    std::string text;
    for (const SyncRecord& sync : syncs) {
        std::string line = FillIn(
            Zh(N_("{0}  {1}  {2}: posted {3}, failed {4}, held back {5}, not tried {6}")),
            {LocalMinuteText(sync.started), Zh(SyncByWords(sync.by)), Zh(SyncEndWords(sync.end)),
             std::to_string(sync.posted), std::to_string(sync.failed), std::to_string(sync.held),
             std::to_string(sync.untried)});
        if (!sync.reason.empty()) {
            line += ShortCause(ProblemFromKey(sync.reason));
        }
        text += (text.empty() ? "" : "\n") + Utf8ToCp936(line);
    }
    return text;
}

}  // namespace strivo
