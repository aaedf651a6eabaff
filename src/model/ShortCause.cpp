#include "model/ProblemWords.h"

#include "text/Catalog.h"

// The window's short cause after a failed job, apart from the catalogue of
// every code's words: it names only the failures a runner can act on.

namespace strivo {

namespace {

// The window's few words for a failure, by the code at the bottom of it.
constexpr struct {
    ProblemCode code;
    const char* words;
} kShortCauses[] = {
    {ProblemCode::SignInRefused, N_("user name or password refused")},
    {ProblemCode::PasswordRefusedBefore, N_("user name or password refused")},
    {ProblemCode::NetRefused, N_("cannot connect to the server")},
    {ProblemCode::NetCannotConnect, N_("cannot connect to the server")},
    {ProblemCode::NetUnknownHost, N_("cannot connect to the server")},
    {ProblemCode::NetBadUrl, N_("the server's address is not usable")},
    {ProblemCode::NetTimedOut, N_("the connection timed out")},
    {ProblemCode::NetStalled, N_("the connection timed out")},
    {ProblemCode::NetDeadline, N_("the connection timed out")},
    {ProblemCode::NetTooSlow, N_("the connection timed out")},
    {ProblemCode::NetUntrusted, N_("the server's certificate is not trusted")},
    {ProblemCode::NetWrongHost, N_("the server's certificate is for another address")},
    {ProblemCode::NetTls, N_("cannot set up a secure connection")},
    {ProblemCode::NetTooManyRedirects, N_("the server's redirects went wrong")},
    {ProblemCode::NetRedirectRefused, N_("the server's redirects went wrong")},
    {ProblemCode::NetConnectionLost, N_("the connection broke")},
    {ProblemCode::NetTooLarge, N_("the server's answer is too large")},
    {ProblemCode::NoRunList, N_("the server's answer cannot be read")},
    {ProblemCode::CertificateFileUnreadable, N_("cannot read the certificate file")},
    {ProblemCode::CertificateFileNotPem, N_("cannot read the certificate file")},
    {ProblemCode::BuiltInCertificatesDamaged, N_("cannot read the certificate file")},
    {ProblemCode::StoreInUse, N_("another Strivo is syncing")},
    {ProblemCode::SessionEndedSignInPage, N_("the forum session has ended")},
    {ProblemCode::SessionEndedRedirect, N_("the forum session has ended")},
    {ProblemCode::SessionEndedForbidden, N_("the forum session has ended")},
    {ProblemCode::PostRedirected, N_("the forum answered with a redirect")},
    {ProblemCode::NetCancelled, N_("cancelled")},
    {ProblemCode::SyncStopped, N_("cancelled")},
    {ProblemCode::SyncInterrupted, N_("cancelled")},
    {ProblemCode::NetOutOfMemory, N_("out of memory")},
};

}  // namespace

std::string ShortCause(const Problem& problem) {
    const Problem& root = problem.Root();
    if (root.code == ProblemCode::None || root.code == ProblemCode::Words) {
        return {};
    }
    if (root.code == ProblemCode::NetStatus) {
        return FillIn(Zh(N_("(server error {0})")), {root.Value(1)});
    }
    if (root.code == ProblemCode::HostPaused) {
        return FillIn(Zh(N_("(the server asks to wait until {0})")), {root.Value(1)});
    }
    // Not kept: its root is the store's failure, and the wait is what matters.
    for (const Problem* each = &problem; each != nullptr; each = each->cause.get()) {
        if (each->code == ProblemCode::HostPauseNotKept) {
            return FillIn(Zh(N_("(the server asks to wait until {0}; this could not be written "
                                "down)")),
                          {each->Value(1)});
        }
    }
    const char* words = nullptr;
    for (const auto& entry : kShortCauses) {
        if (entry.code == root.code) {
            words = entry.words;
        }
    }
    if (words == nullptr) {
        words = OfTheStore(root.code) ? N_("cannot write the post record") : N_("network error");
    }
    return FillIn(Zh(N_("({0})")), {Zh(words)});
}

}  // namespace strivo
