#pragma once

#include <string>
#include <string_view>

#include "model/RunTable.h"

namespace strivo {

// The sign-in form body, every value form-encoded: the token and cookie time
// as read from the sign-in page, the user name and password as typed.
std::string BuildSignInBody(std::string_view formHash, std::string_view cookieTime,
                            std::string_view user, std::string_view password);

// The run-log body for one row, every value form-encoded, so that no value
// from the network can add a field of its own; ordinary values (digits, ".",
// "-") go as they are. Hours, minutes and seconds come from the row's
// milliseconds; the description comes encoded (it is the same for every row).
// A run read from a file goes without a RunID: its key is Strivo's own.
std::string BuildRunLogBody(std::string_view formHash, const RunRow& row,
                            std::string_view encodedDescription);

// Whether a page is the site's sign-in form, shown in place of a page the
// session may no longer see: its submit button, or the two fields the
// sign-in reads from it (the form token and the cookie time).
bool IsSignInPage(std::string_view page);

// "Nike+同步" in CP936, form-encoded: the description of every run-log entry.
const std::string& EncodedRunLogDescription();
// "Strivo导入（GPX）" in CP936, form-encoded: the description of a run read
// from a file of `format` ("GPX", "FIT", ...), which Nike+ never saw.
std::string EncodedImportedRunDescription(std::string_view format);

}  // namespace strivo
