#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "store/RunStore.h"

// Manners toward the two services, for the jobs that contact them: a host
// that asked to be left alone hears nothing before its time, and a refused
// password is not sent again by a run nobody watches.
namespace strivo::jobs {

enum class Service { RunService, Site };

// What the store knows of `service`'s host and user, as the workspace names them.
HostPause PauseKeyOf(const Workspace& where, Service service);
PasswordRefusal RefusalKeyOf(const Workspace& where, Service service);

// Before a job contacts `service`: HostPaused while its pause runs;
// PasswordRefusedBefore for an unattended run whose password was refused and
// has not changed. A store that cannot say lets the job go on.
Outcome MayContact(RunStore& store, const Workspace& where, Service service, StoreTime now);

// After a job contacted `service`, what its answer teaches: a 429 or a 503
// with Retry-After pauses the host (the problem returned is then HostPaused,
// or HostPauseNotKept when the store could not keep it); a refused sign-in
// keeps the password's HMAC (RefusalNotKept over the refusal when it could
// not); a sign-in that went through forgets it (RefusalNotForgotten into
// `notKept` when it could not). `signedIn` says the sign-in itself went
// through. Call it with no write of the store's open: it writes itself.
std::optional<Problem> Learn(RunStore& store, const Workspace& where, Service service,
                             const std::optional<Problem>& problem, bool signedIn, StoreTime now,
                             std::vector<Problem>* notKept = nullptr);
// The same for a job without a store: a pause asked for is HostPauseNotKept,
// `whyNoStore` its cause, and a refusal RefusalNotKept.
std::optional<Problem> LearnWithoutStore(const Workspace& where, Service service,
                                         const std::optional<Problem>& problem,
                                         const Problem& whyNoStore, StoreTime now);
// The pause `problem` asks for, if it names a time.
std::optional<HostPause> PauseAskedFor(const Workspace& where, Service service,
                                       const Problem& problem, StoreTime now);
// HostPaused or HostPauseNotKept: the host asked to be left alone.
bool IsPause(const Problem& problem);

// A 429, or a 503 with Retry-After, somewhere in the chain of `problem`:
// the service asked the job to stop.
bool AsksToStop(const Problem& problem);

}  // namespace strivo::jobs
