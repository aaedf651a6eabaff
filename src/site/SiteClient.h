#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "model/Result.h"
#include "model/Run.h"
#include "model/Runs.h"
#include "net/WebSession.h"
#include "settings/Settings.h"

namespace strivo {

// How one run-log post ended, as the site's answer tells it.
struct PostVerdict {
    PostResult result = PostResult::Confirmed;
    std::optional<Problem> problem;  // why, unless confirmed
    bool stop = false;               // no further post should go out after this one
};

// The community site as Strivo speaks to it: the sign-in through its form
// and one run-log post at a time, over one session. Host, port and
// credentials come from the settings; the site speaks plain HTTP, so the
// config's extra CAs are no business of its session. Stopping `cut` ends the
// request in flight at once.
class SiteClient {
public:
    SiteClient(const Settings& settings, WebSessionConfig sessionConfig, std::stop_token cut = {});

    // Signs out a site session that is still open, then signs in through the
    // site's form. A session that cannot be opened is a failed sign-in.
    Outcome SignIn();
    // Posts one run to the run log and judges the answer; a run read from a
    // file names its format ("GPX") in place of Nike+.
    PostVerdict Post(const Run& run);
    void Close() { m_session.CloseAll(); }

private:
    PostVerdict Judge(std::string_view runId, const HttpResult& result);

    const Settings m_settings;
    WebSession m_session;
    std::string m_formHash;
    int m_serverErrorsInARow = 0;
};

}  // namespace strivo
