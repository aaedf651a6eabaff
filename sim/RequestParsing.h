#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Inspection.h"

// Reading what clients send: query strings, form bodies and cookies, decoded
// the way web servers do (not the way cpp-httplib does: it also takes "%uXXXX",
// which no server of the time understood).
namespace strivo::sim {

using FieldList = std::vector<std::pair<std::string, std::string>>;

// "%XX" (either case) becomes its byte; with `plusIsSpace` a "+" becomes a
// blank. A "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view text, bool plusIsSpace = true);

// "a=1&b=2" into decoded names and values, in order, duplicates kept. Empty
// pieces are skipped; a piece without "=" is a name with an empty value.
FieldList ParseFields(std::string_view text);

// The value of the first field named `name`.
std::optional<std::string> FindField(const FieldList& fields, std::string_view name);

// The value of cookie `name` from the request's Cookie headers.
std::optional<std::string> FindCookie(const HeaderList& headers, std::string_view name);

// The value of the first header named `name` (case-insensitive), or "".
std::string HeaderValue(const HeaderList& headers, std::string_view name);

// True for "application/x-www-form-urlencoded", with or without parameters.
bool IsFormContentType(std::string_view contentType);

}  // namespace strivo::sim
