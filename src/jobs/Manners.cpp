#include "jobs/Manners.h"

#include "io/TimeText.h"
#include "model/ProblemWords.h"
#include "net/RetryAfter.h"
#include "text/CodePage.h"

namespace strivo::jobs {
namespace {

std::string HostText(const std::string& host, int port) {
    return host + ":" + std::to_string(port);
}

const std::string& PasswordOf(const Workspace& where, Service service) {
    return service == Service::Site ? where.settings.sitePassword : where.settings.servicePassword;
}

// The status answer in the chain of `problem`, if any.
const Problem* StatusAnswer(const Problem& problem) {
    for (const Problem* each = &problem; each != nullptr; each = each->cause.get()) {
        if (each->code == ProblemCode::NetStatus) {
            return each;
        }
    }
    return nullptr;
}

Problem Paused(const HostPause& pause) {
    return Problem(ProblemCode::HostPaused,
                   {HostText(pause.host, pause.port), LocalMinuteText(pause.notBefore)});
}

// A pause asked for that no later run will know of.
Problem PauseNotKept(const HostPause& pause, const Problem& why) {
    return Problem(ProblemCode::HostPauseNotKept,
                   {HostText(pause.host, pause.port), LocalMinuteText(pause.notBefore)})
        .Because(why);
}

}  // namespace

// The pause a 429, or a 503 with Retry-After, asks for; none for a 429 that
// names no time: this job stops, the next one may try.
std::optional<HostPause> PauseAskedFor(const Workspace& where, Service service,
                                       const Problem& problem, StoreTime now) {
    const Problem* answer = StatusAnswer(problem);
    if (answer == nullptr || !AsksToStop(problem)) {
        return std::nullopt;
    }
    const std::optional<StoreTime> until = ParseRetryAfter(answer->Value(2), now);
    if (!until) {
        return std::nullopt;
    }
    HostPause pause = PauseKeyOf(where, service);
    pause.notBefore = *until;
    pause.reason = ProblemKey(*answer);
    return pause;
}

HostPause PauseKeyOf(const Workspace& where, Service service) {
    if (service == Service::Site) {
        const SiteKey site = SiteKeyOf(where.settings);
        return {site.host, site.port, {}, {}};
    }
    const ServiceKey runService = ServiceKeyOf(where.settings);
    return {runService.host, runService.port, {}, {}};
}

PasswordRefusal RefusalKeyOf(const Workspace& where, Service service) {
    const HostPause host = PauseKeyOf(where, service);
    return {service == Service::Site ? kServiceSite : kServiceRunService,
            host.host,
            host.port,
            service == Service::Site ? where.settings.siteUser : where.settings.serviceUser,
            {}};
}

bool IsPause(const Problem& problem) {
    return problem.code == ProblemCode::HostPaused || problem.code == ProblemCode::HostPauseNotKept;
}

bool AsksToStop(const Problem& problem) {
    const Problem* answer = StatusAnswer(problem);
    if (answer == nullptr) {
        return false;
    }
    const std::string& status = answer->Value(1);
    return status == "429" || (status == "503" && !answer->Value(2).empty());
}

Outcome MayContact(RunStore& store, const Workspace& where, Service service, StoreTime now) {
    const HostPause key = PauseKeyOf(where, service);
    if (Result<std::vector<HostPause>> pauses = store.Pauses(now)) {
        for (const HostPause& pause : *pauses) {
            if (pause.host == key.host && pause.port == key.port) {
                return Paused(pause);
            }
        }
    }
    if (!where.unattended) {
        return {};  // someone sees the answer: the password is always tried
    }
    const PasswordRefusal who = RefusalKeyOf(where, service);
    if (Result<bool> refused = store.RefusedBefore(who, PasswordOf(where, service));
        refused && *refused) {
        return Problem(ProblemCode::PasswordRefusedBefore,
                       {HostText(who.host, who.port), Cp936ToUtf8(who.user)});
    }
    return {};
}

std::optional<Problem> Learn(RunStore& store, const Workspace& where, Service service,
                             const std::optional<Problem>& problem, bool signedIn, StoreTime now,
                             std::vector<Problem>* notKept) {
    const PasswordRefusal who = RefusalKeyOf(where, service);
    if (signedIn) {
        // Kept, a refusal would keep runs without a terminal from sending a
        // password that works.
        if (Outcome forgotten = store.ForgetRefusal(who); !forgotten && notKept != nullptr) {
            notKept->push_back(
                Problem(ProblemCode::RefusalNotForgotten).Because(forgotten.problem()));
        }
    }
    if (!problem) {
        return problem;
    }
    if (problem->Root().code == ProblemCode::SignInRefused) {
        PasswordRefusal refusal = who;
        refusal.refused = now;
        if (Outcome kept = store.RecordRefusal(refusal, PasswordOf(where, service)); !kept) {
            return Problem(ProblemCode::RefusalNotKept).Because(*problem);
        }
        return problem;
    }
    std::optional<HostPause> pause = PauseAskedFor(where, service, *problem, now);
    if (!pause) {
        return problem;
    }
    if (Outcome kept = store.PauseHost(*pause); !kept) {
        return PauseNotKept(*pause, kept.problem());
    }
    return Paused(*pause);
}

std::optional<Problem> LearnWithoutStore(const Workspace& where, Service service,
                                         const std::optional<Problem>& problem,
                                         const Problem& whyNoStore, StoreTime now) {
    if (!problem) {
        return problem;
    }
    if (problem->Root().code == ProblemCode::SignInRefused) {
        return Problem(ProblemCode::RefusalNotKept).Because(*problem);
    }
    const std::optional<HostPause> pause = PauseAskedFor(where, service, *problem, now);
    return pause ? PauseNotKept(*pause, whyNoStore) : problem;
}

}  // namespace strivo::jobs
