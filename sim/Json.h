#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Inspection.h"

// JSON for the inspection pages under /__sim/. Texts inside the stand-ins are
// code page 936 bytes (ASCII included); JSON has to be UTF-8.
namespace strivo::sim {

// `cp936` converted to UTF-8, quoted, with quotes, backslashes and control
// characters escaped.
std::string JsonString(std::string_view cp936);

// [{"method":..., "path":..., "query":..., "headers":[[name, value], ...],
//   "body":..., "status":..., "secure":..., "remotePort":...}, ...]
std::string RequestsJson(const std::vector<LoggedRequest>& requests);

}  // namespace strivo::sim
