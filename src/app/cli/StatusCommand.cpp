#include <chrono>

#include "app/cli/CliWords.h"
#include "app/cli/Commands.h"
#include "app/cli/TerminalTable.h"
#include "io/TimeText.h"
#include "jobs/Manners.h"
#include "jobs/Status.h"
#include "model/ProblemWords.h"
#include "text/Catalog.h"

namespace strivo::cli {
namespace {

void SayLastSync(std::ostream& out, const std::optional<SyncRecord>& last) {
    if (!last) {
        out << Tr("Last sync: none yet") << "\n";
        return;
    }
    out << Fill(Tr("Last sync: {0}, {1}: {2}"), LocalMinuteText(last->started),
                Tr(SyncByWords(last->by)), Tr(SyncEndWords(last->end)))
        << "\n";
    // A stop that nobody named says no more than the line above.
    if (!last->reason.empty() && ProblemFromKey(last->reason).code != ProblemCode::SyncStopped) {
        out << "  " << DescribeReason(last->reason) << "\n";
    }
    out << "  "
        << Fill(Tr("posted {0}, failed {1}, held back {2}, not tried {3}"), last->posted,
                last->failed, last->held, last->untried)
        << "\n";
}

void SaySchedule(std::ostream& out, const jobs::ScheduleState& schedule) {
    using Kind = jobs::ScheduleState::Kind;
    std::string when;
    switch (schedule.kind) {
        case Kind::None:
            out << Tr("Schedule: none (strivo-cli schedule daily makes one)") << "\n";
            return;
        case Kind::Unreadable:
            out << Tr("Schedule: cannot be read")
                << (schedule.problem ? ": " + Describe(*schedule.problem) : std::string()) << "\n";
            return;
        case Kind::Daily:
            when = Fill(Tr("daily at {0}"), schedule.clock);
            break;
        case Kind::Hourly:
            when = Tr("hourly");
            break;
    }
    out << Fill(Tr("Schedule: {0}; next run {1}"), when,
                schedule.nextRun ? LocalMinuteText(*schedule.nextRun) : "?")
        << "\n";
}

void SayAttention(const CliContext& cli, std::ostream& out, const jobs::StatusReport& report) {
    if (report.held > 0) {
        out << Fill(TrN("Held back: {0} run, sent without an answer: {1}",
                        "Held back: {0} runs, sent without an answer: {1}",
                        static_cast<unsigned long>(report.held)),
                    report.held, Ids(report.heldIds))
            << (report.held > static_cast<int>(report.heldIds.size())
                    ? Fill(Tr(" … and {0} more"),
                           report.held - static_cast<int>(report.heldIds.size()))
                    : "")
            << "\n";
        out << "  " << cli.SettleAdvice() << "\n";
    }
    out << Fill(TrN("Not on the run log yet: {0} stored run",
                    "Not on the run log yet: {0} stored runs",
                    static_cast<unsigned long>(report.neverPosted)),
                report.neverPosted)
        << "\n";
    // Kept off by the runner, so not theirs to mind: named, with the way back.
    if (report.keptOff > 0) {
        out << Fill(TrN("Kept off the run log: {0} stored run: {1}",
                        "Kept off the run log: {0} stored runs: {1}",
                        static_cast<unsigned long>(report.keptOff)),
                    report.keptOff, Ids(report.keptOffIds))
            << (report.keptOff > static_cast<int>(report.keptOffIds.size())
                    ? Fill(Tr(" … and {0} more"),
                           report.keptOff - static_cast<int>(report.keptOffIds.size()))
                    : "")
            << "\n";
        out << "  "
            << Fill(Tr("release the ones to post with '{0}'"),
                    cli.CommandLine("settle --repost RUNID..."))
            << "\n";
    }
    for (const HostPause& pause : report.pauses) {
        out << Describe(
                   Problem(ProblemCode::HostPaused, {pause.host + ":" + std::to_string(pause.port),
                                                     LocalMinuteText(pause.notBefore)}))
            << "\n";
    }
    for (const PasswordRefusal& refusal : report.refusals) {
        out << Fill(Tr("{0} refused the password of {1} on {2}; a run without a terminal does "
                       "not send it again until it changes"),
                    refusal.service == kServiceSite ? "Kelvora" : "Nike+",
                    ForTerminal(refusal.user), LocalMinuteText(refusal.refused))
            << "\n";
    }
}

}  // namespace

// How unattended syncs are going, from the store and the scheduler alone.
int Status(CliContext& cli) {
    const Result<jobs::StatusReport> report =
        jobs::Status(cli.where(), std::chrono::system_clock::now());
    if (!report) {
        return cli.StoreFailure(report.problem(), N_("{0}; nothing was changed, try again later"));
    }
    std::ostream& out = cli.Out();
    SayLastSync(out, report->lastSync);
    SayAttention(cli, out, *report);
    SaySchedule(out, report->schedule);
    if (report->noNotices) {
        out << Fill(Tr("Desktop notices: none can be shown ({0})"), Describe(*report->noNotices))
            << "\n";
    }
    if (!report->storeBytes) {
        out << Fill(Tr("Store: {0} (not made yet)"), cli.StoreName()) << "\n";
    } else {
        out << Fill(Tr("Store: {0} ({1} KB)"), cli.StoreName(), (*report->storeBytes + 1023) / 1024)
            << "\n";
    }
    return report->NeedsRunner() ? kExitFailed : kExitDone;
}

}  // namespace strivo::cli
