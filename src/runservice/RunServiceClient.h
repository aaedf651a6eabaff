#pragma once

#include <functional>
#include <stop_token>
#include <string>

#include "model/Result.h"
#include "net/WebSession.h"
#include "runservice/RunList.h"
#include "settings/Settings.h"

namespace strivo {

// The run service as Strivo speaks to it: the sign-in, the account's summary
// and the run list, over one session. Host, ports and credentials come from
// the settings; the session trusts their cafile besides the config's CAs.
// Stopping `stop` cancels the request in flight.
class RunServiceClient {
public:
    RunServiceClient(const Settings& settings, WebSessionConfig sessionConfig,
                     std::stop_token stop = {});

    // A session that cannot be opened is a failed sign-in.
    Outcome SignIn();
    // The summary sentence (CP936); a failed request still gives the sentence
    // its frame, with empty values.
    std::string FetchSummary();
    // The run list into `reader` as it arrives, never held whole; `onBytes`
    // hears how many bytes came so far.
    Outcome FetchRunList(RunListReader& reader, const std::function<void(std::size_t)>& onBytes);

private:
    const Settings m_settings;
    WebSession m_session;
};

}  // namespace strivo
