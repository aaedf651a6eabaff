#pragma once

#include <string>
#include <string_view>

#include "jobs/RunTable.h"

namespace strivo {

// The sign-in form body. The token and cookie time go in as read from the
// sign-in page; user name and password must already be form-encoded.
std::string BuildSignInBody(std::string_view formHash, std::string_view cookieTime,
                            std::string_view encodedUser, std::string_view encodedPassword);

// The run-log body for one row: hours, minutes and seconds come from the
// row's milliseconds. Only the start time is form-encoded here; the
// description comes encoded (it is the same for every row).
std::string BuildRunLogBody(std::string_view formHash, const RunRow& row,
                            std::string_view encodedDescription);

// "Nike+同步" in CP936, form-encoded: the description of every run-log entry.
const std::string& EncodedRunLogDescription();

}  // namespace strivo
