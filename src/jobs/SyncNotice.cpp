#include "jobs/SyncNotice.h"

#include "model/ProblemWords.h"
#include "notify/Notice.h"
#include "text/Catalog.h"

namespace strivo::jobs {

void SpeakUpIfNeeded(const Workspace& where, const SyncRecord& sync,
                     const std::optional<Problem>& problem) {
    if (where.by != SyncBy::Schedule) {
        return;
    }
    const bool failed =
        sync.end == SyncEnd::Failed && problem && problem->code != ProblemCode::HostPaused;
    if (!failed && sync.held == 0) {
        return;
    }
    Notice notice;
    notice.summary = failed ? Tr("Strivo: the scheduled sync failed")
                            : Tr("Strivo: runs are held back for you to settle");
    if (failed) {
        notice.body = Describe(*problem);
        notice.urgency = NoticeUrgency::Critical;
    }
    if (sync.held > 0) {
        notice.body += (notice.body.empty() ? "" : "\n") +
                       Fill(TrN("{0} run was sent without an answer; look at the run log, then "
                                "strivo-cli settle.",
                                "{0} runs were sent without an answer; look at the run log, then "
                                "strivo-cli settle.",
                                static_cast<unsigned long>(sync.held)),
                            sync.held);
    }
    (void)ShowNotice(notice);
}

}  // namespace strivo::jobs
