#pragma once

#include <string>
#include <string_view>

#include "model/Run.h"

namespace strivo {

// The sign-in form body, every value form-encoded: the token and cookie time
// as read from the sign-in page, the user name and password as typed.
std::string BuildSignInBody(std::string_view formHash, std::string_view cookieTime,
                            std::string_view user, std::string_view password);

// The run-log body for one run, every value form-encoded, so that no value
// from the network can add a field of its own; ordinary values (digits, ".",
// "-") go as they are. The start and distance are the table's; hours, minutes
// and seconds come from the run's milliseconds; the description comes
// encoded (RunLogDescription). A run read from a file goes without a RunID:
// its key is Strivo's own.
std::string BuildRunLogBody(std::string_view formHash, const Run& run,
                            std::string_view encodedDescription);

// Whether a page is the site's sign-in form, shown in place of a page the
// session may no longer see: its submit button, or the two fields the
// sign-in reads from it (the form token and the cookie time).
bool IsSignInPage(std::string_view page);

// "Nike+同步" in CP936, form-encoded: the description of every run-log entry.
const std::string& EncodedRunLogDescription();
// The description of `run`, form-encoded: that one, or "Strivo导入（GPX）" in
// CP936 for a run read from a file ("GPX", "FIT", ...), which Nike+ never saw.
std::string RunLogDescription(const Run& run);

}  // namespace strivo
