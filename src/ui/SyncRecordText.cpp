#include "ui/SyncRecordText.h"

#include "jobs/Manners.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"
#include "text/CodePage.h"

namespace strivo {
namespace {

const char* ByWords(SyncBy by) {
    switch (by) {
        case SyncBy::Window:
            return N_("window");
        case SyncBy::Cli:
            return N_("command line");
        case SyncBy::Schedule:
            return N_("schedule");
    }
    return "";
}

const char* EndWords(SyncEnd end) {
    switch (end) {
        case SyncEnd::Done:
            return N_("done");
        case SyncEnd::Failed:
            return N_("failed");
        case SyncEnd::Stopped:
            return N_("stopped");
    }
    return "";
}

}  // namespace

std::string SyncRecordText(const std::vector<SyncRecord>& syncs) {
    if (syncs.empty()) {
        return Utf8ToCp936(Zh(N_("No sync yet")));
    }
    std::string text;
    for (const SyncRecord& sync : syncs) {
        std::string line = FillIn(
            Zh(N_("{0}  {1}  {2}: posted {3}, failed {4}, held back {5}, not tried {6}")),
            {jobs::LocalClockText(sync.started), Zh(ByWords(sync.by)), Zh(EndWords(sync.end)),
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
